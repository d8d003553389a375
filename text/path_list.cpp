#include "text/path_list.h"

#include "text/copy_text.h"

#include <cstring>

BOOL AppendPath(PATH_LIST* list, const char* path) {
    if (list->Count == list->Capacity) {
        DWORD capacity = list->Capacity ? list->Capacity * 2 : 8;
        LPSTR* items = (LPSTR*)GlobalAlloc(GPTR, capacity * sizeof(LPSTR));
        if (items == NULL)
            return FALSE;
        if (list->Items != NULL) {
            memcpy(items, list->Items, list->Count * sizeof(LPSTR));
            GlobalFree(list->Items);
        }
        list->Items = items;
        list->Capacity = capacity;
    }
    LPSTR copy = CopyText(path);
    if (copy == NULL)
        return FALSE;
    list->Items[list->Count++] = copy;
    return TRUE;
}

void FreePathList(PATH_LIST* list) {
    for (DWORD i = 0; i < list->Count; ++i)
        GlobalFree(list->Items[i]);
    if (list->Items != NULL)
        GlobalFree(list->Items);
    memset(list, 0, sizeof(*list));
}
