// Letter case in names and options: ASCII letters only, whatever the
// locale, as file systems and the command line's options compare them.
#pragma once

#include <string_view>

constexpr char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool equals_folded(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i]))
            return false;
    return true;
}

constexpr bool starts_folded(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equals_folded(text.substr(0, prefix.size()), prefix);
}

// A name that ends in the extension and has something before it.
constexpr bool ends_folded(std::string_view name, std::string_view extension)
{
    return name.size() > extension.size() && equals_folded(name.substr(name.size() - extension.size()), extension);
}
