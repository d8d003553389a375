// The present disk interfaces, listed by their device paths.
#pragma once

#include "platform/platform.h"
#include "text/path_list.h"

// The detail buffer of one interface: the path and its size field.
#define DISK_DETAIL_SIZE 1024

// Appends the device paths of the set's disk interfaces to list and destroys the set, which
// the caller made and hands over; returns the number of entries in the list.
int EnumDiskInterfaces(PATH_LIST* list, HDEVINFO set);
