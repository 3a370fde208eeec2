// SPDX-License-Identifier: GPL-2.0-or-later
// The XML navigation layer: a forward-only cursor over one loaded document.
//
// The cursor stands inside an element (the "current element") and remembers
// the child last found in it (the "current child"). After Reset the current
// element is the document's root element and there is no current child, so
// the first FindChild looks at the root's first child.
//
//   FindChild(name)  next child element called `name` after the current child;
//                    on success it becomes the current child, on failure
//                    nothing moves.
//   StepIn()         the current child becomes the current element; no child.
//   Attribute(name)  attribute of the current element, empty when absent.
//   StepOut()        the parent becomes the current element again and the
//                    element just left is its current child, so the next
//                    FindChild continues after it.
//
// The text encoding is detected by pugixml (byte-order mark, declaration;
// UTF-8, UTF-16, UTF-32 and Latin-1); all text handed out is UTF-8.
//
// Threading: none of its own; one thread uses one navigator at a time.
#pragma once

#include <pugixml.hpp>

#include <filesystem>
#include <string>
#include <string_view>

namespace rizuvira::core {

class XmlNavigator {
public:
    XmlNavigator() = default;
    XmlNavigator(const XmlNavigator&) = delete;
    XmlNavigator& operator=(const XmlNavigator&) = delete;

    // Loads a whole regular file (up to 16 MiB). False when the file cannot
    // be read or is not a well-formed document with exactly one root
    // element; the navigator is then empty (every FindChild fails). On
    // success the position is reset.
    bool LoadFile(const std::filesystem::path& path);
    // The same for a document held in memory.
    bool LoadBuffer(const void* data, size_t size_bytes);

    bool IsLoaded() const { return loaded_; }
    // Why the last load failed ("No such file or directory", "not
    // well-formed XML: ... at byte 120"); empty after a load that worked.
    const std::string& error() const { return error_; }

    // Back to "inside the root element, before its first child".
    void Reset();
    bool FindChild(std::string_view name);
    bool StepIn();
    bool StepOut();
    std::string Attribute(std::string_view name) const;

    // Name of the current element (the root's name right after Reset).
    std::string CurrentName() const;

private:
    bool Accept(const pugi::xml_parse_result& result);
    // Empties the navigator, keeps `reason` as the error and returns false.
    bool Refuse(std::string reason);

    pugi::xml_document document_;
    pugi::xml_node current_;  // element the cursor stands in
    pugi::xml_node child_;    // current child of current_, or null
    bool loaded_ = false;
    std::string error_;
};

}  // namespace rizuvira::core
