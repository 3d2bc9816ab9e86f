#pragma once
#include <QString>
#include <vector>

#include "stores/opera/opera_hotlist.h"

// What the peer sees of a hotlist: every item outside trash folders, in the order the stores
// list them (a level's items, then its folders that are not trash, each depth first).
struct OperaVisibleItem {
    int block;
    int folder;  // the folder holding it, AdrDocument::kTopLevel at the top
};

std::vector<OperaVisibleItem> VisibleItems(const AdrDocument& doc);

// The names of the folders from the top level down to `folder`, joined by "/"; empty at the top.
QString FolderPath(const AdrDocument& doc, int folder);
