// The main dialog's handlers on the headless back end: the same CSplitterDlg
// code as in Morsela.exe, with controls in memory and messages recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <tuple>

#include "front_ends.h"
#include "headless.h"
#include "format/pieces.h"
#include "resource.h"
#include "splitter_app.h"
#include "split_file.h"
#include "splitter_dlg.h"
#include "test_platform.h"
#include "text/text.h"

namespace morsela {
namespace {

namespace hl = ui::headless;
using test::Exists;
using test::ListDir;
using test::RandomBytes;
using test::ReadAll;
using test::TempDir;
using test::WriteAll;

// Records each message in the log of the window that is open, with the size
// field's text at that moment, so tests see the order of events.
class RecordingPlatform : public test::TestPlatform {
 public:
  void ShowMessage(const std::string& text) override {
    TestPlatform::ShowMessage(text);
    if (hl::Window* w = hl::Current())
      w->log.push_back("message " + text + " (size " + w->text(IDC_PIECE_SIZE) + ")");
  }
};

class SplitterDialog : public ::testing::Test {
 protected:
  SplitterDialog() {
    hl::Reset();
    test::RegisterSplitterTemplate();
  }
  ~SplitterDialog() override { hl::Reset(); }

  // Runs the dialog with `user` acting on it; returns DoModal's result.
  int Run(std::function<void(hl::Window&)> user) {
    hl::SetUser(std::move(user));
    CSplitterDlg dialog;
    return dialog.DoModal();
  }

  // Chooses `path` through the open-file dialog.
  static void Choose(hl::Window& w, const std::string& path) {
    hl::AnswerOpenFile(path);
    w.Click(IDC_CHOOSE_FILE);
  }

  std::string File(const std::string& name, std::size_t size) {
    WriteAll(dir / name, RandomBytes(size, 7));
    return dir / name;
  }

  // The icon group and the size a window's icon stands for.
  static std::pair<int, int> IconOf(ui::Icon icon) {
    const auto* record = static_cast<const hl::IconRecord*>(icon);
    return record ? std::pair{record->id, record->size} : std::pair{0, 0};
  }

  RecordingPlatform platform;
  TempDir dir;
};

TEST_F(SplitterDialog, StartsWithTheDefaultsAndEndsTheProgram) {
  bool ran = false;
  hl::SetUser([&](hl::Window& w) {
    ran = true;
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "100");
    EXPECT_EQ(w.text(IDC_SOURCE_PATH), "");
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 0u);
    EXPECT_EQ(w.control(IDC_RECOVERY).choices,
              (std::vector<std::string>{"None", "1 piece", "2 pieces", "3 pieces", "5 pieces", "10 pieces"}));
    EXPECT_EQ(w.text(IDC_RECOVERY), "None");
    EXPECT_EQ(w.focus, IDC_CHOOSE_FILE);
    EXPECT_TRUE(w.acceptsFiles);
    EXPECT_EQ(IconOf(w.bigIcon), (std::pair{IDI_SPLITTER_ICON, 32}));
    EXPECT_EQ(IconOf(w.smallIcon), (std::pair{IDI_SPLITTER_ICON, 16}));
    for (int id : {IDC_CHOOSE_FILE, IDC_PIECE_SIZE, IDC_RECOVERY, IDC_SPLIT_FILE}) EXPECT_TRUE(w.enabled(id));
    EXPECT_FALSE(w.enabled(IDC_CANCEL_WORK));
  });
  hl::SetCommandLine({});
  CSplitterApp app;
  EXPECT_FALSE(app.InitInstance());  // ends the program rather than looping
  EXPECT_TRUE(ran);
  EXPECT_EQ(app.mainWindow(), nullptr);
  EXPECT_TRUE(platform.messages.empty());
  hl::SetUser(nullptr);
}

TEST_F(SplitterDialog, EnterAndEscEndTheDialog) {
  EXPECT_EQ(Run([](hl::Window& w) { w.PressEnter(); }), ui::kIdOk);
  EXPECT_EQ(Run([](hl::Window& w) { w.PressEsc(); }), ui::kIdCancel);
  EXPECT_EQ(Run([](hl::Window& w) { w.PressClose(); }), ui::kIdCancel);
  // Enter in the size field ends it too: the field does not take it.
  EXPECT_EQ(Run([](hl::Window& w) {
              w.Edit(IDC_PIECE_SIZE, "20");
              w.PressEnter();
            }),
            ui::kIdOk);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(SplitterDialog, ChoosingAFileShowsItLoweredWithItsPieces) {
  File("report.doc", 25000);
  Run([&](hl::Window& w) {
    w.Edit(IDC_PIECE_SIZE, "10");
    Choose(w, dir / "Report.DOC");
    EXPECT_EQ(w.text(IDC_SOURCE_PATH), dir / "report.doc");
    EXPECT_EQ(w.Items(IDC_PIECE_LIST), (std::vector<std::string>{"report#.0", "report#.1", "report#.2"}));
    // The recovery pieces chosen follow the pieces.
    w.Select(IDC_RECOVERY, 2);
    EXPECT_EQ(w.Items(IDC_PIECE_LIST),
              (std::vector<std::string>{"report#.0", "report#.1", "report#.2", "report#.r1", "report#.r2"}));
    EXPECT_EQ(w.control(IDC_PIECE_LIST).widestItem, "report#.r2");
    w.Select(IDC_RECOVERY, 0);

    // A cancelled choice changes nothing.
    hl::AnswerOpenFile(std::nullopt);
    w.Click(IDC_CHOOSE_FILE);
    EXPECT_EQ(w.text(IDC_SOURCE_PATH), dir / "report.doc");
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "10");
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 3u);

    // A name of no file is shown, the list keeps the last file's names, and
    // the split command refuses it.
    Choose(w, dir / "Missing.bin");
    EXPECT_EQ(w.text(IDC_SOURCE_PATH), dir / "missing.bin");
    EXPECT_EQ(w.Items(IDC_PIECE_LIST), (std::vector<std::string>{"report#.0", "report#.1", "report#.2"}));
    w.Click(IDC_SPLIT_FILE);
  });
  EXPECT_EQ(platform.messages, std::vector<std::string>{kNoFileSelected});
  EXPECT_EQ(hl::OpenFileDialogsShown(), 3);
}

TEST_F(SplitterDialog, DropTakesTheFirstItemWholeAndFoldersToo) {
  File("first.bin", 1000);
  std::string deep = dir.path();
  while (deep.size() < 400) deep += "a-rather-long-folder-name/";
  std::filesystem::create_directories(deep);
  WriteAll(deep + "deep.bin", RandomBytes(1500, 3));
  Run([&](hl::Window& w) {
    w.Edit(IDC_PIECE_SIZE, "10");
    hl::Drop drop = w.DropFiles({dir / "First.bin", dir / "second.bin", dir / "third.bin"});
    EXPECT_TRUE(drop.finished);
    EXPECT_EQ(w.text(IDC_SOURCE_PATH), dir / "first.bin");
    EXPECT_EQ(w.Items(IDC_PIECE_LIST), std::vector<std::string>{"first#.0"});

    w.DropFiles({deep + "deep.bin"});
    EXPECT_EQ(w.text(IDC_SOURCE_PATH), deep + "deep.bin");  // never cut short
    EXPECT_EQ(w.Items(IDC_PIECE_LIST), std::vector<std::string>{"deep#.0"});

    // A folder has length 0: the list empties, the status line says why,
    // the engine finds it too small.
    w.DropFiles({dir.path() + "a-rather-long-folder-name"});
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 0u);
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "This is a folder: choose a file to split.");
    w.Click(IDC_SPLIT_FILE);
    EXPECT_TRUE(w.enabled(IDC_SPLIT_FILE));
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "Split failed: nothing was written.");
  });
  EXPECT_EQ(platform.messages, std::vector<std::string>{kFileTooSmall});
}

TEST_F(SplitterDialog, SizesWithoutASourceAreNotChecked) {
  Run([&](hl::Window& w) {
    for (const char* size : {"0", "5", "", "abc"}) w.Edit(IDC_PIECE_SIZE, size);
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 0u);
    Choose(w, dir / "nothing.bin");
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "abc");
  });
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(SplitterDialog, SmallSizesAreSetBackToTenAfterTheMessage) {
  const std::string a = File("a.bin", 20000);
  Run([&](hl::Window& w) {
    Choose(w, a);
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 1u);  // at 100
    // Empty, zeros, a small number and pasted text all count as too small.
    for (const char* size : {"", "000", "5", "1O0"}) {
      SCOPED_TRACE(size);
      w.log.clear();
      w.Edit(IDC_PIECE_SIZE, size);
      EXPECT_EQ(w.text(IDC_PIECE_SIZE), "10");
      // The message comes first, with the field as typed; the reset then
      // refreshes the list, nested, without a second message.
      EXPECT_EQ(w.log, std::vector<std::string>{"message Size No Valid ! (size " + std::string(size) + ")"});
      EXPECT_EQ(w.Items(IDC_PIECE_LIST), (std::vector<std::string>{"a#.0", "a#.1", "a#.2"}));
    }
    // Sizes of 10 and more pass; one too large for 32 bits gives one piece.
    w.Edit(IDC_PIECE_SIZE, "15");
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 2u);
    w.Edit(IDC_PIECE_SIZE, "99999999999999");
    EXPECT_EQ(w.Items(IDC_PIECE_LIST), std::vector<std::string>{"a#.0"});
  });
  EXPECT_EQ(platform.messages.size(), 4u);
}

TEST_F(SplitterDialog, ASmallSizeTypedFirstIsAnsweredWhenAFileComes) {
  const std::string a = File("a.bin", 20000);
  Run([&](hl::Window& w) {
    w.Edit(IDC_PIECE_SIZE, "5");
    w.DropFiles({a});
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "10");
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 3u);
  });
  EXPECT_EQ(platform.messages, std::vector<std::string>{kSizeNoValid});
}

TEST_F(SplitterDialog, PreviewNamesFollowTheNamingRules) {
  struct Case {
    const char* name;
    std::size_t size;
    std::vector<std::string> first;  // the first items
    std::uint64_t count;
  };
  const std::vector<Case> cases = {
      {"small.bin", 999, {}, 0},
      {"a.bin", 1000, {"a#.0"}, 1},
      {"archive.tar.gz", 30000, {"archive#.0", "archive#.1", "archive#.2", "archive#.3"}, 4},
      {"readme", 12000, {"#.0", "#.1"}, 2},
      {"x.dat", 115000, {"x#.0", "x#.1"}, 12},
  };
  Run([&](hl::Window& w) {
    w.Edit(IDC_PIECE_SIZE, "10");
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      w.DropFiles({File(c.name, c.size)});
      ASSERT_EQ(w.control(IDC_PIECE_LIST).itemCount, c.count);
      std::vector<std::string> items = w.Items(IDC_PIECE_LIST);
      items.resize(c.first.size());
      EXPECT_EQ(items, c.first);
      EXPECT_EQ(w.text(IDC_WORK_STATUS), c.count ? "" : "This file is under 1,000 bytes: too small to split.");
    }
    // Number order, not text order.
    EXPECT_EQ(w.ItemText(IDC_PIECE_LIST, 9), "x#.9");
    EXPECT_EQ(w.ItemText(IDC_PIECE_LIST, 10), "x#.10");
    EXPECT_EQ(w.ItemText(IDC_PIECE_LIST, 11), "x#.11");
  });
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(SplitterDialog, APresetWritesItsSizeIntoTheFieldAndTypingLeavesIt) {
  const std::string movie = File("movie.avi", 1'000'000), bigger = File("bigger.avi", 2'000'000);
  Run([&](hl::Window& w) {
    EXPECT_EQ(w.text(IDC_SIZE_PRESET), "Any size");

    // A limit needs no file; typing a size sets the list back.
    w.Select(IDC_SIZE_PRESET, 1);
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "18266");
    EXPECT_EQ(w.text(IDC_SIZE_PRESET), "Mail (25 MB)");
    w.Edit(IDC_PIECE_SIZE, "500");
    EXPECT_EQ(w.text(IDC_SIZE_PRESET), "Any size");

    // Equal parts wait for a file, then follow each file chosen: 1,000,010
    // bytes with the name header in 3 pieces of 334 KB; 2,000,010 in 667 KB.
    w.Select(IDC_SIZE_PRESET, 8);
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "500");
    EXPECT_EQ(w.text(IDC_SIZE_PRESET), "3 equal parts");
    Choose(w, movie);
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "334");
    EXPECT_EQ(w.Items(IDC_PIECE_LIST), (std::vector<std::string>{"movie#.0", "movie#.1", "movie#.2"}));
    w.DropFiles({bigger});
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "667");
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 3u);
    EXPECT_EQ(w.text(IDC_SIZE_PRESET), "3 equal parts");

    // The field is what the split takes.
    w.Select(IDC_SIZE_PRESET, 7);
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "1001");
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(w.text(IDC_WORK_STATUS),
              "Done: 2 pieces, the restore program bigger.exe and the restore page bigger.restore.html written.");
    EXPECT_EQ(ReadAll(dir / "bigger#.0").size(), 1'001'000u);

    // Chosen again after "Any size", a preset whose size the field holds
    // stays chosen; a size typed too small and set back to 10 leaves it.
    w.Select(IDC_SIZE_PRESET, 3);
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "10000");
    w.Select(IDC_SIZE_PRESET, 0);
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "10000");
    w.Select(IDC_SIZE_PRESET, 3);
    EXPECT_EQ(w.text(IDC_SIZE_PRESET), "Chat (10 MB)");
    w.Edit(IDC_PIECE_SIZE, "5");
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "10");
    EXPECT_EQ(w.text(IDC_SIZE_PRESET), "Any size");

    // A set opened for restoring takes the list away; a file to split gives it back.
    w.DropFiles({dir / "bigger#.1"});
    EXPECT_EQ(w.text(IDC_SPLIT_FILE), "&Restore File");
    EXPECT_FALSE(w.enabled(IDC_SIZE_PRESET));
    w.Select(IDC_SIZE_PRESET, 1);
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "1001");
    w.DropFiles({movie});
    EXPECT_TRUE(w.enabled(IDC_SIZE_PRESET));
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "10");
  });
  EXPECT_EQ(platform.messages, std::vector<std::string>{kSizeNoValid});
}

TEST_F(SplitterDialog, SourcesOfFourGigabytesAndMorePreviewInFull) {
  const std::string big = dir / "big.iso";
  WriteAll(big, "");
  std::filesystem::resize_file(big, (std::uint64_t(5) << 30) + 7);  // sparse
  Run([&](hl::Window& w) {
    w.Edit(IDC_PIECE_SIZE, "10");
    w.DropFiles({big});
    const std::uint64_t count = PieceCount((std::uint64_t(5) << 30) + 7, big, 10);
    EXPECT_EQ(count, 536871u);
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, count);
    EXPECT_EQ(w.ItemText(IDC_PIECE_LIST, count - 1), "big#.536870");
    // The columns fit the longest name.
    EXPECT_EQ(w.control(IDC_PIECE_LIST).widestItem, "big#.536870");

    // Too many pieces for recovery pieces: the list empties and the line
    // says why; at a larger size the recovery pieces follow the pieces.
    w.Select(IDC_RECOVERY, 1);
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 0u);
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "Too many pieces for recovery pieces: choose a larger size.");
    w.Select(IDC_RECOVERY, 5);
    w.Edit(IDC_PIECE_SIZE, "82");  // 65,473 pieces and 10 recovery pieces fit
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 65483u);
    EXPECT_EQ(w.ItemText(IDC_PIECE_LIST, 65472), "big#.65472");
    EXPECT_EQ(w.ItemText(IDC_PIECE_LIST, 65473), "big#.r1");
    EXPECT_EQ(w.ItemText(IDC_PIECE_LIST, 65482), "big#.r10");
    EXPECT_EQ(w.control(IDC_PIECE_LIST).widestItem, "big#.65472");
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "");
    // 66,281 pieces and 1 do not: the split command refuses before writing.
    w.Edit(IDC_PIECE_SIZE, "81");
    w.Select(IDC_RECOVERY, 1);
    w.Click(IDC_SPLIT_FILE);
  });
  EXPECT_EQ(platform.messages, std::vector<std::string>{kTooManyPieces});
  EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"big.iso"});
}

TEST_F(SplitterDialog, SplitRefusesAMissingSourceAndASizeOfZero) {
  const std::string late = dir / "late.bin";
  Run([&](hl::Window& w) {
    w.Click(IDC_SPLIT_FILE);  // nothing chosen

    const std::string gone = File("gone.bin", 5000);
    Choose(w, gone);
    std::filesystem::remove(gone);
    w.Click(IDC_SPLIT_FILE);

    // A size of 0 reaches the command when the file came after it.
    w.Edit(IDC_PIECE_SIZE, "0");
    Choose(w, late);
    WriteAll(late, RandomBytes(5000, 1));
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "0");
    EXPECT_TRUE(std::find(w.log.begin(), w.log.end(), "disable 1000") == w.log.end());
  });
  EXPECT_EQ(platform.messages, (std::vector<std::string>{kNoFileSelected, kNoFileSelected, kSizeNoValid}));
  EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"late.bin"});
}

TEST_F(SplitterDialog, SplitWritesThePieceSetWithTheControlsDisabled) {
  const std::string source = RandomBytes(25000, 11);
  WriteAll(dir / "movie.avi", source);
  Run([&](hl::Window& w) {
    w.Edit(IDC_PIECE_SIZE, "10");
    w.DropFiles({dir / "Movie.AVI"});
    w.log.clear();
    w.Click(IDC_SPLIT_FILE);
    // The clock stands still: the bar is drawn at the start and the end only.
    EXPECT_EQ(w.log, (std::vector<std::string>{"disable 1000", "disable 1002", "disable 1001", "disable 1010",
                                               "disable 1008", "enable 1007", "progress 1006 0",
                                               "progress 1006 10000", "enable 1000", "enable 1002", "enable 1001",
                                               "enable 1010", "enable 1008", "disable 1007",
                                               "progress 1006 10000"}));
    // The keyboard focus comes back to the button that started the split.
    EXPECT_EQ(w.focus, IDC_SPLIT_FILE);
    EXPECT_EQ(w.text(IDC_SOURCE_PATH), dir / "movie.avi");
    EXPECT_EQ(w.control(IDC_PIECE_LIST).itemCount, 3u);
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "Done: 3 pieces, the restore program movie.exe and the restore page movie.restore.html written.");
    SplitOutcome written;
    written.kind = SplitOutcome::Kind::kWritten;
    written.pieces = 3;
    written.recovery = 1;
    written.program = dir / "movie.exe";
    written.page = dir / "movie.restore.html";
    EXPECT_EQ(SplitOutcomeText(written), "Done: 3 pieces, 1 recovery piece, the restore program movie.exe and the restore page movie.restore.html written.");
    written.recovery = 2;
    EXPECT_EQ(SplitOutcomeText(written), "Done: 3 pieces, 2 recovery pieces, the restore program movie.exe and the restore page movie.restore.html written.");
    // The line and the bar keep it until the size or the file changes.
    w.Edit(IDC_PIECE_SIZE, "20");
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "");
    EXPECT_EQ(w.control(IDC_WORK_PROGRESS).position, 0);
  });
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(ListDir(dir.path()),
            (std::vector<std::string>{"movie#.0", "movie#.1", "movie#.2", "movie.avi", "movie.exe", "movie.restore.html"}));
  const std::string joined = ReadAll(dir / "movie#.0") + ReadAll(dir / "movie#.1") + ReadAll(dir / "movie#.2");
  EXPECT_EQ(joined, std::string("movie.avi", 10) + source);
  // The image, then the set's manifest.
  EXPECT_EQ(ReadAll(dir / "movie.exe").compare(0, platform.image.size(), platform.image), 0);
}

TEST_F(SplitterDialog, ControlsComeBackWhenTheEngineRefuses) {
  const std::string small = File("small.bin", 999);
  Run([&](hl::Window& w) {
    w.DropFiles({small});
    w.log.clear();
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(w.log, (std::vector<std::string>{"disable 1000", "disable 1002", "disable 1001", "disable 1010",
                                               "disable 1008", "enable 1007", "message File Too Small (size 100)",
                                               "enable 1000", "enable 1002", "enable 1001", "enable 1010",
                                               "enable 1008", "disable 1007", "progress 1006 0"}));
    // A program that Morsela did not write lies where the restore program
    // goes: the user says No to the question, and the line says so.
    WriteAll(dir / "setup.exe", "MZ");
    w.DropFiles({File("setup.msi", 5000)});
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "Split cancelled: nothing was written or removed.");
    EXPECT_TRUE(w.enabled(IDC_SPLIT_FILE));
  });
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"setup.exe", "setup.msi", "small.bin"}));
}

// What the window showed each time the split let it handle messages.
struct BusyView {
  int position, taskbar;
  std::string status;
};

TEST_F(SplitterDialog, ASplitShowsItsProgressInOrderAndNothingElseStartsMeanwhile) {
  // Five pieces of 1,000,000 bytes, each a block or two; 20 ms pass per block.
  WriteAll(dir / "movie.avi", RandomBytes(5000000 - 10, 5));
  const std::string other = File("other.bin", 5000);
  const int openFileDialogs = hl::OpenFileDialogsShown();
  std::vector<BusyView> views;
  hl::SetUserWhileBusy([&](hl::Window& w) {
    views.push_back({w.control(IDC_WORK_PROGRESS).position, w.taskbar, w.text(IDC_WORK_STATUS)});
    hl::AdvanceClock(20);
    EXPECT_EQ(w.focus, IDC_CANCEL_WORK);
    // A drop is refused, even one queued before the split began; the
    // disabled controls' commands, should one come anyway, and Enter do nothing.
    EXPECT_FALSE(w.DropFiles({other}).finished);
    hl::Drop queued{{other}, false};
    w.dialog.WindowProc(ui::kWmDropFiles, reinterpret_cast<ui::WParam>(&queued), 0);
    EXPECT_TRUE(queued.finished);
    w.Edit(IDC_PIECE_SIZE, "20");
    for (int id : {IDC_SPLIT_FILE, IDC_CHOOSE_FILE})
      w.dialog.WindowProc(ui::kWmCommand, ui::MakeCommand(id, ui::kBnClicked), 0);
    w.PressEnter();
    EXPECT_FALSE(w.ended);
  });
  Run([&](hl::Window& w) {
    w.Edit(IDC_PIECE_SIZE, "1000");
    w.DropFiles({dir / "movie.avi"});
    w.log.clear();
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(w.text(IDC_SOURCE_PATH) + " " + w.text(IDC_PIECE_SIZE), dir / "movie.avi 1000");
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "Done: 5 pieces, the restore program movie.exe and the restore page movie.restore.html written.");
    EXPECT_EQ(w.control(IDC_WORK_PROGRESS).position, ui::kProgressRange);
    EXPECT_EQ(w.taskbar, -1);
    // At most one drawing per 50 ms of the clock, besides the first and the last.
    EXPECT_LE(std::size_t(std::count_if(w.log.begin(), w.log.end(),
                                        [](const std::string& e) { return e.rfind("progress", 0) == 0; })),
              3 + views.size() * 20 / kProgressDrawInterval);
  });
  ASSERT_GE(views.size(), 5u);
  EXPECT_EQ(views.front().status, "Writing piece 1 of 5...");
  EXPECT_EQ(views.back().status, "Writing piece 5 of 5...");
  for (std::size_t i = 1; i < views.size(); ++i) {
    EXPECT_GE(views[i].position, views[i - 1].position);
    EXPECT_GE(views[i].status, views[i - 1].status);
    EXPECT_EQ(views[i].taskbar, views[i].position);
  }
  EXPECT_EQ(hl::OpenFileDialogsShown(), openFileDialogs);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(ListDir(dir.path()).size(), 9u);  // five pieces, the program, the page, the two sources
}

TEST_F(SplitterDialog, CancelEscAndTheCloseBoxStopASplitAndLeaveNothingOfIt) {
  // Three blocks, one a piece (the first begins with the name header).
  const std::string source = RandomBytes(25000, 13);
  WriteAll(dir / "movie.avi", source);
  WriteAll(dir / "movie#.7", "a piece of an older split");
  const std::vector<std::string> before = ListDir(dir.path());
  // The end of the session (a log-off) stops it too, and holds the session
  // up, saying why, until the split's files are gone.
  const std::vector<std::function<void(hl::Window&)>> ways = {
      [](hl::Window& w) { w.Click(IDC_CANCEL_WORK); }, [](hl::Window& w) { w.PressEsc(); },
      [](hl::Window& w) { w.PressClose(); },
      [](hl::Window& w) { EXPECT_EQ(w.dialog.WindowProc(ui::kWmQueryEndSession, 0, 0), 1); }};
  for (std::size_t way = 0; way < ways.size(); ++way) {
    for (std::size_t at : {0, 1, 2}) {
      SCOPED_TRACE("way " + std::to_string(way) + " at block " + std::to_string(at));
      std::size_t blocks = 0;
      hl::SetUserWhileBusy([&](hl::Window& w) {
        if (blocks++ == at) ways[way](w);
      });
      std::string status;
      std::vector<std::string> session;
      const int result = Run([&](hl::Window& w) {
        w.Edit(IDC_PIECE_SIZE, "10");
        w.DropFiles({dir / "movie.avi"});
        w.Click(IDC_SPLIT_FILE);
        status = w.text(IDC_WORK_STATUS);
        for (const std::string& entry : w.log)
          if (entry.find("session") != std::string::npos) session.push_back(entry);
        w.PressEnter();
      });
      EXPECT_EQ(blocks, at + 1);  // not one block more
      // Cancel and Esc keep the window; the close box and the session's end
      // close it once stopped.
      EXPECT_EQ(result, way >= 2 ? ui::kIdCancel : ui::kIdOk);
      if (way < 2) {
        EXPECT_EQ(status, "Split stopped: its files were removed.");
      }
      const std::vector<std::string> held{"block session end: Stopping a split", "allow session end"};
      EXPECT_EQ(session, way == 3 ? held : std::vector<std::string>{});
      EXPECT_EQ(ListDir(dir.path()), before);
      EXPECT_EQ(ReadAll(dir / "movie.avi"), source);
    }
  }
  EXPECT_TRUE(platform.messages.empty());
}

// A piece of a set, or the restore program Morsela wrote for it, opens the
// set for restoring: the list shows every piece with what the folder holds
// of it, the size field the piece size (read-only), the command reads
// Restore File and refuses or restores as the restore program would. A
// folder that cannot be written brings the save dialog; any other file goes
// back to splitting.
TEST_F(SplitterDialog, APieceOrItsRestoreProgramOpensTheSetForRestoring) {
  const std::string source = RandomBytes(25000, 21);
  WriteAll(dir / "movie.avi", source);
  SplitFile(dir / "movie.avi", 10);
  std::filesystem::remove(dir / "movie.avi");
  const std::string middle = ReadAll(dir / "movie#.1"), last = ReadAll(dir / "movie#.2");
  std::filesystem::remove(dir / "movie#.1");
  WriteAll(dir / "movie#.2", last + "x");
  TempDir elsewhere;
  Run([&](hl::Window& w) {
    w.Edit(IDC_PIECE_SIZE, "20");
    w.DropFiles({dir / "movie#.2"});
    EXPECT_EQ(w.text(IDC_SPLIT_FILE), "&Restore File");
    EXPECT_EQ(w.text(IDC_MAIN_GROUP), "Restore");
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "10");
    EXPECT_FALSE(w.enabled(IDC_RECOVERY));
    w.Edit(IDC_PIECE_SIZE, "30");  // read-only
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "10");
    EXPECT_EQ(w.Items(IDC_PIECE_LIST),
              (std::vector<std::string>{"movie#.0", "movie#.1 (missing)", "movie#.2 (wrong size)"}));
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "Restore failed: nothing was written.");

    // A refusal leaves the pieces it read and found damaged marked.
    WriteAll(dir / "movie#.1", middle);
    WriteAll(dir / "movie#.2", std::string(last.size(), 'x'));
    w.DropFiles({dir / "movie.exe"});
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(w.Items(IDC_PIECE_LIST), (std::vector<std::string>{"movie#.0", "movie#.1", "movie#.2 (damaged)"}));

    WriteAll(dir / "movie#.2", last);
    w.DropFiles({dir / "movie.exe"});
    EXPECT_EQ(w.Items(IDC_PIECE_LIST), (std::vector<std::string>{"movie#.0", "movie#.1", "movie#.2"}));
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "Restored movie.avi: 25,000 bytes, every piece checked.");
    EXPECT_TRUE(ReadAll(dir / "movie.avi") == source);
    EXPECT_FALSE(w.enabled(IDC_RECOVERY));  // also after the restore
    std::filesystem::remove(dir / "movie.avi");

    // The folder takes no file: the save dialog, the name preset, asks
    // where it goes instead.
    platform.writeFault = {test::Stage::kOpen, platform.created, false, 0};
    hl::AnswerSaveFile(elsewhere / "film.avi");
    w.Click(IDC_SPLIT_FILE);
    ASSERT_EQ(hl::SaveFileDialogsShown().size(), 1u);
    EXPECT_EQ(hl::SaveFileDialogsShown()[0].name, "movie.avi");
    EXPECT_EQ(hl::SaveFileDialogsShown()[0].folder, "Documents");  // not the folder that cannot take it
    EXPECT_TRUE(ReadAll(elsewhere / "film.avi") == source);
    EXPECT_EQ(w.text(IDC_WORK_STATUS),
              "Restored " + elsewhere / "film.avi" + ": 25,000 bytes, every piece checked.");

    // Without the restore program the names make the set, unchecked.
    std::filesystem::rename(dir / "movie.exe", dir / "kept.bin");
    w.DropFiles({dir / "movie#.1"});
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "10");
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(w.text(IDC_WORK_STATUS),
              "Its content could not be checked: the restore program was missing.\nRestored movie.avi: 25,000 bytes.");
    EXPECT_TRUE(ReadAll(dir / "movie.avi") == source);

    // A set with recovery pieces, its restore program gone: a recovery
    // piece opens it with the set's description, lists the recovery pieces
    // after the pieces, and a lost piece comes back.
    platform.answer = true;  // the pieces there are of a set without its program now
    SplitFile(dir / "movie.avi", 10, nullptr, std::string(), 2);
    for (const char* name : {"movie.avi", "movie.exe", "movie#.1"}) std::filesystem::remove(dir / name);
    WriteAll(dir / "movie#.r2", ReadAll(dir / "movie#.r2") + "x");
    w.DropFiles({dir / "movie#.r1"});
    EXPECT_EQ(w.Items(IDC_PIECE_LIST), (std::vector<std::string>{"movie#.0", "movie#.1 (missing)", "movie#.2",
                                                                  "movie#.r1", "movie#.r2 (wrong size)"}));
    EXPECT_EQ(w.text(IDC_RECOVERY), "2 pieces");  // the set's, not a choice for a split
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(w.text(IDC_WORK_STATUS),
              "Restored movie.avi: 25,000 bytes, every piece checked; 1 piece rebuilt from recovery data.");
    EXPECT_TRUE(ReadAll(dir / "movie.avi") == source);
    EXPECT_EQ(w.control(IDC_WORK_PROGRESS).position, ui::kProgressRange);

    // Any other file is split: the command, the size and the preview come back.
    WriteAll(dir / "other#.r1", RandomBytes(5000, 23));  // a recovery piece's form, but no set
    w.DropFiles({dir / "other#.r1"});
    EXPECT_EQ(w.text(IDC_SPLIT_FILE), "Split Current File");
    WriteAll(dir / "other#.3", RandomBytes(5000, 22));  // a piece's form, but no set
    w.DropFiles({dir / "other#.3"});
    EXPECT_EQ(w.text(IDC_SPLIT_FILE), "Split Current File");
    EXPECT_EQ(w.text(IDC_MAIN_GROUP), "Split");
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "20");
    EXPECT_TRUE(w.enabled(IDC_RECOVERY));
    EXPECT_EQ(w.text(IDC_RECOVERY), "None");
    EXPECT_EQ(w.control(IDC_WORK_PROGRESS).position, 0);  // the restore's full bar went with it
    EXPECT_EQ(w.Items(IDC_PIECE_LIST), std::vector<std::string>{"other##.0"});
    w.Edit(IDC_PIECE_SIZE, "30");
    EXPECT_EQ(w.text(IDC_PIECE_SIZE), "30");
  });
  EXPECT_EQ(platform.messages, (std::vector<std::string>{kFileNotFound, kSplitFileDamaged}));
  EXPECT_EQ(platform.details, (std::vector<std::string>{"movie#.1", "movie#.2"}));
}

// A rebuild of many lost pieces spends a while setting up its matrix
// before it reads anything: Cancel is heard there as anywhere else.
TEST_F(SplitterDialog, CancelStopsARebuildDuringTheSetUpOfItsMatrix) {
  const std::string source = RandomBytes(199 * 1000, 23);
  WriteAll(dir / "movie.avi", source);
  SplitFile(dir / "movie.avi", 1, nullptr, std::string(), 200);
  std::filesystem::remove(dir / "movie.avi");
  for (int k = 0; k < 200; ++k) std::filesystem::remove(dir / ("movie#." + std::to_string(k)));
  const std::vector<std::string> before = ListDir(dir.path());
  std::size_t steps = 0;
  std::atomic<int> recoveryReads{0};
  int readsAtFirstStep = -1, readsAtLastStep = -2;
  platform.duringRead = [&](const std::string& path) { recoveryReads += path.find("#.r") != std::string::npos; };
  hl::SetUserWhileBusy([&](hl::Window& w) {
    if (++steps == 1) readsAtFirstStep = recoveryReads;
    if (steps < 10) return;
    readsAtLastStep = recoveryReads;
    w.Click(IDC_CANCEL_WORK);
  });
  Run([&](hl::Window& w) {
    w.DropFiles({dir / "movie.exe"});
    w.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(w.text(IDC_WORK_STATUS), "Restore stopped: nothing was written.");
  });
  // Every piece was lost, so that the join reported nothing; no recovery
  // data was read between the steps: all ten were the set-up's, and it
  // stopped at the one Cancel came in.
  EXPECT_EQ(steps, 10u);
  EXPECT_EQ(readsAtFirstStep, readsAtLastStep);
  EXPECT_EQ(ListDir(dir.path()), before);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(SplitterDialog, IconsAndTheListFollowTheScale) {
  File("x.dat", 115000);
  Run([&](hl::Window& w) {
    w.dialog.WindowProc(ui::kWmPaint, 0, 0);
    EXPECT_EQ(w.log, std::vector<std::string>{"paint"});
    w.log.clear();
    w.iconic = true;
    w.client = {0, 0, 36, 37};
    w.dialog.WindowProc(ui::kWmPaint, 0, 0);
    EXPECT_EQ(w.log, (std::vector<std::string>{"erase background", "icon 2,3"}));
    EXPECT_EQ(ui::Icon(w.dialog.WindowProc(ui::kWmQueryDragIcon, 0, 0)), w.bigIcon);

    // Moved to a monitor at 150%: icons of that scale (the old ones are
    // destroyed, which the leak check would tell), the minimised window
    // centres the bigger one, the columns fit the names in the new font.
    w.Edit(IDC_PIECE_SIZE, "10");
    w.DropFiles({dir / "x.dat"});
    w.control(IDC_PIECE_LIST).widestItem.clear();
    w.log.clear();
    w.dialog.WindowProc(ui::kWmDpiChanged, ui::MakeDpi(144), 0);
    EXPECT_EQ(w.dialog.Dpi(), 144);
    EXPECT_EQ(IconOf(w.bigIcon), (std::pair{IDI_SPLITTER_ICON, 48}));
    EXPECT_EQ(IconOf(w.smallIcon), (std::pair{IDI_SPLITTER_ICON, 24}));
    EXPECT_EQ(w.control(IDC_PIECE_LIST).widestItem, "x#.11");
    w.client = {0, 0, 52, 53};
    w.dialog.WindowProc(ui::kWmPaint, 0, 0);
    EXPECT_EQ(w.log, (std::vector<std::string>{"erase background", "icon 2,3"}));
    EXPECT_EQ(ui::Icon(w.dialog.WindowProc(ui::kWmQueryDragIcon, 0, 0)), w.bigIcon);
  });
}

TEST_F(SplitterDialog, AStartUpPathIsTakenAsADropOfItIs) {
  File("report.doc", 25000);
  File("small.bin", 999);
  std::filesystem::create_directory(dir / "Folder");
  // What the window shows, and the messages so far.
  auto shown = [&](hl::Window& w) {
    return std::make_tuple(w.text(IDC_SOURCE_PATH), w.text(IDC_PIECE_SIZE), w.text(IDC_WORK_STATUS),
                           w.Items(IDC_PIECE_LIST), w.focus, platform.messages);
  };
  using Shown = decltype(shown(std::declval<hl::Window&>()));
  for (const char* name : {"Report.DOC", "Missing File.bin", "small.bin", "Folder"}) {
    SCOPED_TRACE(name);
    const std::string path = dir / name;
    // What the window shows once the file is chosen, then after a size
    // below 10 is typed.
    std::vector<Shown> dropped, started;
    auto look = [&](std::vector<Shown>& views) {
      return [&](hl::Window& w) {
        views.push_back(shown(w));
        w.Edit(IDC_PIECE_SIZE, "5");
        views.push_back(shown(w));
      };
    };
    // Dropped onto a window that opened with nothing chosen...
    platform.messages.clear();
    Run([&](hl::Window& w) {
      w.DropFiles({path});
      look(dropped)(w);
    });
    // ...and given to the program on its command line.
    platform.messages.clear();
    hl::SetCommandLine({{path}, path});
    hl::SetUser(look(started));
    CSplitterApp app;
    app.InitInstance();
    EXPECT_EQ(started, dropped);
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(std::get<4>(started[0]), IDC_CHOOSE_FILE);
    EXPECT_TRUE(std::get<5>(started[0]).empty());
  }
  hl::SetCommandLine({});
}

TEST_F(SplitterDialog, TheStartUpPathIsTheFirstArgumentOrAnUnquotedPathWithSpaces) {
  const std::string film = File("My Film.avi", 5000);
  const std::string other = File("other.bin", 5000);
  using CommandLine = ui::CommandLine;
  EXPECT_EQ(StartUpPath(CommandLine{}), "");
  // Several files: the first counts.
  EXPECT_EQ(StartUpPath(CommandLine{{other, film}, other + " \"" + film + "\""}), other);
  // Quoted, the path came whole.
  EXPECT_EQ(StartUpPath(CommandLine{{film}, "\"" + film + "\""}), film);
  // Unquoted, it came in pieces: the rest of the line is the path.
  const std::string cut = dir / "My";
  EXPECT_EQ(StartUpPath(CommandLine{{cut, "Film.avi"}, film}), film);
  // A first argument that names something wins; so do quotes.
  EXPECT_EQ(StartUpPath(CommandLine{{other, "x"}, other + " x"}), other);
  EXPECT_EQ(StartUpPath(CommandLine{{cut, "Film.avi"}, "\"" + cut + "\" Film.avi"}), cut);
  // A path that names nothing is still taken, for the window to refuse.
  EXPECT_EQ(StartUpPath(CommandLine{{dir / "gone.bin"}, dir / "gone.bin"}), dir / "gone.bin");
  // Relative to the current folder, made absolute as a drop gives it.
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string relative = StartUpPath(CommandLine{{"other.bin"}, "other.bin"});
  std::filesystem::current_path(here);
  EXPECT_EQ(std::filesystem::path(relative), std::filesystem::path(other));
}

TEST(DialogPlacement, CentresInTheWorkAreaAndStaysInside) {
  const ui::Rect work{0, 0, 1024, 738};
  EXPECT_EQ(ui::CenterInWorkArea({0, 0, 501, 453}, work), (ui::Rect{262, 143, 763, 596}));
  // Larger than the work area: the left and top edges stay visible.
  EXPECT_EQ(ui::CenterInWorkArea({0, 0, 1100, 800}, work), (ui::Rect{0, 0, 1100, 800}));
  // A work area right of a taskbar at the left; truncation toward zero.
  EXPECT_EQ(ui::CenterInWorkArea({5, 5, 106, 56}, {-1025, -767, 0, 0}), (ui::Rect{-562, -408, -461, -357}));
  // Rounding never pushes the window past the right or bottom edge.
  EXPECT_EQ(ui::CenterInWorkArea({0, 0, 11, 11}, {0, 0, 11, 11}), (ui::Rect{0, 0, 11, 11}));
}

}  // namespace
}  // namespace morsela
