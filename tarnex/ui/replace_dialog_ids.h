// Controls of the "Замена файла" dialog. The four buttons carry their
// results as identifiers: Enter replaces, Esc or closing skips.
#pragma once

#define IDD_REPLACE_FILE 130
#define IDC_REPLACE_BUTTON 1      /* "&Заменить", result 1 */
#define IDC_SKIP_BUTTON 2         /* "&Пропустить", result 2 */
#define IDC_REPLACE_ALL_BUTTON 3  /* "Заменить &все", result 3 */
#define IDC_SKIP_ALL_BUTTON 4     /* "Пропустить вс&е", result 4 */
#define IDC_EXISTING_GROUP 1301
#define IDC_EXISTING_PATH 1302
#define IDC_EXISTING_LINE 1303
#define IDC_NEW_GROUP 1304
#define IDC_NEW_NAME 1305
#define IDC_NEW_LINE 1306
