// The tool is a 32-bit program first: its records must have the sizes that 32-bit Windows
// checks in cbSize, and the pass-through header must be the 44-byte one the phone expects.
// A 64-bit build uses the platform's own sizes.
#pragma once

#if !defined(_WIN64)
static_assert(sizeof(SP_DEVINFO_DATA) == 28);
static_assert(sizeof(SP_DEVINFO_LIST_DETAIL_DATA_A) == 287);
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28);
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5);
static_assert(sizeof(SCSI_PASS_THROUGH) == 44);
#endif
