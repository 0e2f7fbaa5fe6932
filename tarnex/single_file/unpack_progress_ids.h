// Controls of the window a long unpacking shows.
#pragma once

#define IDD_UNPACK_PROGRESS 140
#define IDC_UNPACK_TEXT 1401
#define IDC_UNPACK_BAR 1402
