// What libmspack's public records do not tell: whether a folder's data
// starts in a previous cabinet of the set.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

struct mscabd_folder;
int VrelFolderContinuesFromPrevious(const struct mscabd_folder* folder);

#ifdef __cplusplus
}
#endif
