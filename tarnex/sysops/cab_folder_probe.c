#include "cab_folder_probe.h"

#include <mspack.h>
#include <system.h>
#include <cab.h>

int VrelFolderContinuesFromPrevious(const struct mscabd_folder* folder) {
    const struct mscabd_folder_p* inner = (const struct mscabd_folder_p*)folder;
    return inner != NULL && inner->merge_prev != NULL;
}

int VrelFolderInOneCabinet(const struct mscabd_folder* folder, struct VrelFolderData* data) {
    const struct mscabd_folder_p* inner = (const struct mscabd_folder_p*)folder;
    if (inner == NULL || data == NULL || inner->merge_prev != NULL || inner->merge_next != NULL ||
        inner->data.next != NULL || inner->data.cab == NULL || inner->data.cab->base.filename == NULL ||
        inner->data.cab->block_resv < 0)
        return 0;
    data->cabinet = inner->data.cab->base.filename;
    data->offset = (long long)inner->data.offset;
    data->blockReserve = (unsigned int)inner->data.cab->block_resv;
    return 1;
}
