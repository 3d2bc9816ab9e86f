#pragma once
// A bound on how deeply the XML files the stores read may nest. pugixml parses without recursion
// but removes a subtree recursively, so a planted file nesting thousands of elements would
// overflow the stack when an edit replaces that content; documents past the bound are refused
// as damaged before anything walks them.

#include <pugixml.hpp>

// Far beyond any file a real program writes (contacts nest about eight deep, playlists five).
inline constexpr int kMaxXmlDepth = 256;

// Whether any node lies more than `limit` levels below `root`; walked without recursion.
inline bool DeeperThan(const pugi::xml_node& root, int limit)
{
    int depth = 0;
    pugi::xml_node node = root.first_child();
    if (node) depth = 1;
    while (node && node != root) {
        if (depth > limit) return true;
        if (node.first_child()) {
            node = node.first_child();
            ++depth;
            continue;
        }
        while (node != root && !node.next_sibling()) {
            node = node.parent();
            --depth;
        }
        if (node != root) node = node.next_sibling();
    }
    return false;
}
