#pragma once
// Message trees written out in a line, for the tests of the message panel's files and decisions.

#include <string>
#include <vector>

#include "panels/MessageStore.h"

namespace test {

inline frm::MessageItem group(const std::wstring& name, std::vector<frm::MessageItem> children) {
    frm::MessageItem item;
    item.name = name;
    item.children = std::move(children);
    return item;
}

inline frm::MessageItem message(const std::wstring& name, const std::wstring& path,
                                const std::wstring& gong = L"") {
    frm::MessageItem item;
    item.kind = frm::MessageItem::messageItem;
    item.name = name;
    item.message = path;
    item.gong = gong;
    return item;
}

}  // namespace test
