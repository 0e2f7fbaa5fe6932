// Dialog templates, controls and icons of the wizard, shared between the
// templates (resources/wizard.rc) and the code. Plain defines: windres reads
// this file too.
#pragma once

// Templates: the frame and one per page (the component page's, 107, is in
// component_page_ids.h).
#define IDD_WIZARD_FRAME 102
#define IDD_WELCOME_PAGE 103
#define IDD_LICENCE_PAGE 104
#define IDD_FOLDER_PAGE 105
#define IDD_ACCESS_PAGE 106
#define IDD_SUMMARY_PAGE 108
#define IDD_PROGRESS_PAGE 109
#define IDD_FINISH_PAGE 110
#define IDD_MODE_PAGE 111

// Icons of the maintenance page's three choices.
#define IDI_MODE_CHANGE 115
#define IDI_MODE_REPAIR 116
#define IDI_MODE_REMOVE 117

// The frame's buttons (Cancel is IDCANCEL, 2).
#define IDC_NEXT 1000
#define IDC_BACK 1001

#define IDC_WELCOME_TITLE 1004
#define IDC_LICENCE_TEXT 1005
#define IDC_FOLDER_PATH 1006
#define IDC_FOLDER_BROWSE 1007
#define IDC_ACCESS_97 1008
#define IDC_ACCESS_2000 1009
#define IDC_FREE_SPACE 1014
#define IDC_SUMMARY_TEXT 1016
#define IDC_CURRENT_BAR 1017
#define IDC_OVERALL_BAR 1018
#define IDC_CURRENT_TEXT 1019
#define IDC_OVERALL_TEXT 1020
#define IDC_RESULTS_TEXT 1021
#define IDC_FINISH_TITLE 1022
#define IDC_MODE_CHANGE 1023
#define IDC_MODE_REPAIR 1024
#define IDC_MODE_REMOVE 1025
#define IDC_FREE_SPACE_LABEL 1028
#define IDC_SUMMARY_STATUS 1029
#define IDC_PROGRESS_HEADING 1031
#define IDC_CURRENT_LABEL 1032
#define IDC_OVERALL_LABEL 1033
#define IDC_MODE_CHANGE_ICON 1034
#define IDC_MODE_REPAIR_ICON 1035
#define IDC_MODE_REMOVE_ICON 1036
