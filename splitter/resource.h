// Resource and control identifiers of the splitter.
#pragma once

#define IDD_SPLITTER_DIALOG 102
#define IDI_SPLITTER_ICON 128
#define IDR_RESTORE_IMAGE 129

#define IDC_CHOOSE_FILE 1000
#define IDC_PIECE_SIZE 1001
#define IDC_SPLIT_FILE 1002
#define IDC_SOURCE_PATH 1003
#define IDC_PIECE_LIST 1004
#define IDC_WORK_STATUS 1005
#define IDC_WORK_PROGRESS 1006
#define IDC_CANCEL_WORK 1007
#define IDC_RECOVERY 1008
#define IDC_MAIN_GROUP 1009
#define IDC_SIZE_PRESET 1010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
