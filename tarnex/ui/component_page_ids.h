// Resources and controls of the component page (template 107) and its two
// image strips, shared by component_page.rc and the code.
#pragma once

#define IDD_COMPONENT_PAGE 107
#define IDB_TREE_IMAGES 107   // eight 16x16 images: two per tree level, the last also the lock overlay
#define IDB_CHECK_IMAGES 141  // five 16x16 check images, the tree's state images
// The same strips drawn at 24 and 32 pixels, for screens of more DPI.
#define IDB_TREE_IMAGES_24 151
#define IDB_TREE_IMAGES_32 152
#define IDB_CHECK_IMAGES_24 153
#define IDB_CHECK_IMAGES_32 154

#define IDC_COMPONENT_TREE 1010
#define IDC_DESCRIPTION_LABEL 1011  // bold at run time
#define IDC_SIZE_LABEL 1012         // bold at run time
#define IDC_SELECTED_SIZE 1013
#define IDC_FREE_SPACE 1014
#define IDC_DESCRIPTION 1027

#ifndef RC_INVOKED
namespace tarnex {

// The strips' transparent colour, RGB(0, 128, 128).
inline constexpr unsigned long kTreeImageMask = 0x808000;
inline constexpr int kTreeImageCount = 8;
inline constexpr int kCheckImageCount = 5;
inline constexpr int kLockImage = 7;    // the no-entry sign in the tree strip
inline constexpr int kLockOverlay = 1;  // its overlay number

}  // namespace tarnex
#endif
