#include "cab_folder_probe.h"

#include <mspack.h>
#include <system.h>
#include <cab.h>

int VrelFolderContinuesFromPrevious(const struct mscabd_folder* folder) {
    const struct mscabd_folder_p* inner = (const struct mscabd_folder_p*)folder;
    return inner != NULL && inner->merge_prev != NULL;
}
