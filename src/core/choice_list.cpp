// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/choice_list.h"

namespace rizuvira::core {

namespace {

struct Element {
    std::string_view key;
    std::string_view label;
};

// Calls `visit(element)` for each element in order until it returns true.
template <typename Visit>
void ForEachElement(std::string_view list, Visit visit) {
    size_t start = 0;
    while (start < list.size()) {
        size_t comma = list.find(',', start);
        size_t end = comma == std::string_view::npos ? list.size() : comma;
        std::string_view text = list.substr(start, end - start);
        size_t dollar = text.find('$');
        Element element = dollar == std::string_view::npos
                              ? Element{text, text}
                              : Element{text.substr(0, dollar), text.substr(dollar + 1)};
        if (visit(element)) return;
        if (comma == std::string_view::npos) return;
        start = comma + 1;
    }
}

}  // namespace

std::vector<std::string> ChoiceLabels(std::string_view list) {
    std::vector<std::string> labels;
    ForEachElement(list, [&](const Element& e) {
        labels.emplace_back(e.label);
        return false;
    });
    return labels;
}

std::string ChoiceLabelForValue(std::string_view list, std::string_view value) {
    std::string found;
    ForEachElement(list, [&](const Element& e) {
        if (e.key != value) return false;
        found = e.label;
        return true;
    });
    return found;
}

std::string ChoiceKeyForLabel(std::string_view list, std::string_view label) {
    std::string found;
    ForEachElement(list, [&](const Element& e) {
        if (e.label != label) return false;
        found = e.key;
        return true;
    });
    return found;
}

}  // namespace rizuvira::core
