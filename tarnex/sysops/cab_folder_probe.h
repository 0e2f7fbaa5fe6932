// What libmspack's public records do not tell: whether a folder's data
// starts in a previous cabinet of the set, and where the data of a folder
// that lies in one cabinet begins.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

struct mscabd_folder;
int VrelFolderContinuesFromPrevious(const struct mscabd_folder* folder);

struct VrelFolderData {
    const char* cabinet;       /* the cabinet's file name as it was opened */
    long long offset;          /* of the folder's first data block */
    unsigned int blockReserve; /* bytes reserved after each block header */
};
/* 1 with data filled when the folder's blocks all lie in one cabinet. */
int VrelFolderInOneCabinet(const struct mscabd_folder* folder, struct VrelFolderData* data);

#ifdef __cplusplus
}
#endif
