// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/xml_navigator.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace rizuvira::core {

namespace {

// Default parsing plus the encoding detection; entity and character
// references are expanded, the declaration is not kept as a node.
constexpr unsigned kParseOptions = pugi::parse_default;
// Catalogue and branding files are a few kilobytes; refuse anything huge.
constexpr std::uintmax_t kMaxFileBytes = 16u << 20;

}  // namespace

bool XmlNavigator::LoadFile(const std::filesystem::path& path) {
    loaded_ = false;
    current_ = {};
    child_ = {};
    document_.reset();
    // Read the bytes here: only a regular file of sane size is a document
    // (a folder or a device would otherwise be measured by seeking).
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error) return Refuse(error.message());
    if (!std::filesystem::is_regular_file(status)) return Refuse("not a regular file");
    const auto size_bytes = std::filesystem::file_size(path, error);
    if (error) return Refuse(error.message());
    if (size_bytes > kMaxFileBytes) return Refuse("larger than 16 MiB");
    std::ifstream in(path, std::ios::binary);
    if (!in) return Refuse(std::strerror(errno));
    std::string bytes(static_cast<size_t>(size_bytes), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        return Refuse("it could not be read to its end");
    return LoadBuffer(bytes.data(), bytes.size());
}

bool XmlNavigator::LoadBuffer(const void* data, size_t size_bytes) {
    loaded_ = false;
    return Accept(document_.load_buffer(data, size_bytes, kParseOptions, pugi::encoding_auto));
}

bool XmlNavigator::Refuse(std::string reason) {
    error_ = std::move(reason);
    current_ = {};
    child_ = {};
    document_.reset();
    loaded_ = false;
    return false;
}

bool XmlNavigator::Accept(const pugi::xml_parse_result& result) {
    current_ = {};
    child_ = {};
    error_.clear();
    if (!result) {
        return Refuse(std::string("not well-formed XML: ") + result.description() + " at byte " +
                      std::to_string(result.offset));
    }
    // pugixml accepts several top-level elements; a document has one root.
    int roots = 0;
    for (pugi::xml_node node : document_.children()) {
        if (node.type() == pugi::node_element) ++roots;
    }
    if (roots != 1) return Refuse(roots == 0 ? "no root element" : "more than one root element");
    loaded_ = true;
    Reset();
    return true;
}

void XmlNavigator::Reset() {
    current_ = loaded_ ? document_.document_element() : pugi::xml_node{};
    child_ = {};
}

bool XmlNavigator::FindChild(std::string_view name) {
    if (!current_) return false;
    pugi::xml_node node = child_ ? child_.next_sibling() : current_.first_child();
    for (; node; node = node.next_sibling()) {
        if (node.type() == pugi::node_element && name == node.name()) {
            child_ = node;
            return true;
        }
    }
    return false;
}

bool XmlNavigator::StepIn() {
    if (!child_) return false;
    current_ = child_;
    child_ = {};
    return true;
}

bool XmlNavigator::StepOut() {
    if (!current_ || current_ == document_.document_element()) return false;
    child_ = current_;
    current_ = current_.parent();
    return true;
}

std::string XmlNavigator::Attribute(std::string_view name) const {
    if (!current_) return {};
    for (pugi::xml_attribute attribute : current_.attributes()) {
        if (name == attribute.name()) return attribute.value();
    }
    return {};
}

std::string XmlNavigator::CurrentName() const {
    return current_ ? current_.name() : std::string{};
}

}  // namespace rizuvira::core
