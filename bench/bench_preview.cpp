// Wall time of one preview refresh of the real dialog for 10, 100,000 and
// 10,000,000 pieces of one source: the list view is virtual, so the counts
// should cost the same. Run under Wine by preview_bench.sh.
//   bench_preview.exe SOURCE   (a file "s.bin" of 10^11 - 6 bytes; see preview_bench.sh)
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "application.h"
#include "resource.h"
#include "splitter_dlg.h"

namespace {

double Now() {
  LARGE_INTEGER t, f;
  QueryPerformanceCounter(&t);
  QueryPerformanceFrequency(&f);
  return double(t.QuadPart) / double(f.QuadPart);
}

// The main dialog that measures itself once it is up, then ends.
class MeasuredDialog : public morsela::CSplitterDlg {
 public:
  // The source is chosen as the window opens, as a path it was started with.
  explicit MeasuredDialog(const std::string& source) { SetStartUpPath(source); }

 protected:
  bool OnInitDialog() override {
    CSplitterDlg::OnInitDialog();
    HWND list = GetDlgItem(static_cast<HWND>(window()), IDC_PIECE_LIST);
    struct Case {
      const char* size;
      const char* pieces;
    };
    const Case cases[] = {{"10000000", "10"}, {"1000", "100,000"}, {"10", "10,000,000"}};
    std::printf("%-12s %14s %14s %14s\n", "pieces", "items", "refresh ms", "with paint ms");
    for (const Case& c : cases) {
      SetItemText(IDC_PIECE_SIZE, c.size);  // refreshes once already
      std::vector<double> refresh, painted;
      for (int run = 0; run < 15; ++run) {
        double t0 = Now();
        RefreshPreview();
        double t1 = Now();
        UpdateWindow(list);  // the list asks for the names it shows
        double t2 = Now();
        refresh.push_back((t1 - t0) * 1000);
        painted.push_back((t2 - t0) * 1000);
      }
      std::sort(refresh.begin(), refresh.end());
      std::sort(painted.begin(), painted.end());
      std::printf("%-12s %14d %14.3f %14.3f\n", c.pieces, int(ListView_GetItemCount(list)),
                  refresh[refresh.size() / 2], painted[painted.size() / 2]);
    }
    std::fflush(stdout);
    EndDialog(IDCANCEL);
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_preview SOURCE\n");
    return 2;
  }
  morsela::ui::EnableCommonControls();
  MeasuredDialog dialog(argv[1]);
  dialog.DoModal();
  return 0;
}
