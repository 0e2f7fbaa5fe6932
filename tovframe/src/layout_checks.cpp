// The records shared with the host are a binary interface: in each build
// their sizes and offsets must be exactly these, the layout the Microsoft
// compiler gives tovframe.h on that bitness (unsigned long stays 32-bit on
// 64-bit Windows; pointers grow to 8 bytes and are aligned to 8).
#include <cstddef>

#include "tovframe.h"

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(tagTovProtoInfo) == 8, "tagTovProtoInfo");
static_assert(offsetof(tagTovProtoInfo, version) == 4, "tagTovProtoInfo.version");

static_assert(sizeof(tagFrameDsc) == 16, "tagFrameDsc");
static_assert(offsetof(tagFrameDsc, size) == 4, "tagFrameDsc.size");
static_assert(offsetof(tagFrameDsc, handle) == 8, "tagFrameDsc.handle");
static_assert(offsetof(tagFrameDsc, device) == 12, "tagFrameDsc.device");

static_assert(sizeof(tagSpdDevDsc) == 20, "tagSpdDevDsc");
static_assert(offsetof(tagSpdDevDsc, reserved) == 4, "tagSpdDevDsc.reserved");
static_assert(offsetof(tagSpdDevDsc, nameId) == 8, "tagSpdDevDsc.nameId");
static_assert(offsetof(tagSpdDevDsc, packCount) == 12, "tagSpdDevDsc.packCount");
static_assert(offsetof(tagSpdDevDsc, packs) == 16, "tagSpdDevDsc.packs");

static_assert(sizeof(tagSpdPackDsc) == 16, "tagSpdPackDsc");
static_assert(offsetof(tagSpdPackDsc, dataLength) == 1, "tagSpdPackDsc.dataLength");
static_assert(offsetof(tagSpdPackDsc, nameId) == 4, "tagSpdPackDsc.nameId");
static_assert(offsetof(tagSpdPackDsc, cellCount) == 8, "tagSpdPackDsc.cellCount");
static_assert(offsetof(tagSpdPackDsc, cells) == 12, "tagSpdPackDsc.cells");

static_assert(sizeof(tagSpdCellDsc) == 12, "tagSpdCellDsc");
static_assert(offsetof(tagSpdCellDsc, size) == 4, "tagSpdCellDsc.size");
static_assert(offsetof(tagSpdCellDsc, offset) == 5, "tagSpdCellDsc.offset");
static_assert(offsetof(tagSpdCellDsc, bit) == 6, "tagSpdCellDsc.bit");
static_assert(offsetof(tagSpdCellDsc, varType) == 8, "tagSpdCellDsc.varType");

static_assert(sizeof(FRSPDDEVTYPE) == 4 && sizeof(FRSPDDEVVER) == 4, "enumerations are 32-bit");
#endif

#if defined(_WIN64)
static_assert(sizeof(tagTovProtoInfo) == 8, "tagTovProtoInfo");

static_assert(sizeof(tagFrameDsc) == 24, "tagFrameDsc");
static_assert(offsetof(tagFrameDsc, size) == 8, "tagFrameDsc.size");
static_assert(offsetof(tagFrameDsc, handle) == 12, "tagFrameDsc.handle");
static_assert(offsetof(tagFrameDsc, device) == 16, "tagFrameDsc.device");

static_assert(sizeof(tagSpdDevDsc) == 24, "tagSpdDevDsc");
static_assert(offsetof(tagSpdDevDsc, packCount) == 12, "tagSpdDevDsc.packCount");
static_assert(offsetof(tagSpdDevDsc, packs) == 16, "tagSpdDevDsc.packs");

static_assert(sizeof(tagSpdPackDsc) == 24, "tagSpdPackDsc");
static_assert(offsetof(tagSpdPackDsc, cellCount) == 8, "tagSpdPackDsc.cellCount");
static_assert(offsetof(tagSpdPackDsc, cells) == 16, "tagSpdPackDsc.cells");

static_assert(sizeof(tagSpdCellDsc) == 12, "tagSpdCellDsc");
static_assert(offsetof(tagSpdCellDsc, varType) == 8, "tagSpdCellDsc.varType");

static_assert(sizeof(FRSPDDEVTYPE) == 4 && sizeof(FRSPDDEVVER) == 4 && sizeof(unsigned long) == 4,
              "enumerations and unsigned long are 32-bit");
#endif
