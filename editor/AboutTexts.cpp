#include "editor/AboutTexts.h"

#include <cstdio>

namespace valvora {

AboutTexts::AboutTexts(const char* platform) noexcept
{
    std::snprintf(version_, sizeof(version_), "ver. %d.%d.%02d / %s\n\r%s", 1, 0, 0, platform ? platform : "",
                  __DATE__);
    constexpr unsigned char title[] = {114, 178, 237};
    constexpr unsigned char caption[] = {164, 164, 164};
    constexpr unsigned char name[] = {212, 212, 212};
    auto text = [](int l, int t, int r, int b, int px, const unsigned char(&c)[3], const char* s, bool wrap) {
        return AboutText{l, t, r, b, px, c[0], c[1], c[2], s, wrap};
    };
    texts_ = {{
        text(203, 40, 522, 67, 20, title, "Kelmo Valvora QX70", true),
        text(203, 67, 522, 103, 12, caption, "virtual-analog guitar amp\ninspired by", true),
        text(19, 47, 203, 88, 12, caption, "DSP & UI programming by", true),
        text(19, 63, 203, 88, 12, name, "Mara Lindqvist", true),
        text(19, 88, 203, 124, 12, caption, "VST Plug-In Technology by", true),
        text(19, 104, 203, 124, 12, name, "Steinberg", true),
        text(522, 47, 669, 88, 12, caption, version_, false),
        text(522, 88, 669, 124, 12, name, "www.kelmo.example\nhi@kelmo.example", true),
    }};
}

std::vector<std::string> AboutTexts::lines(const AboutText& text,
                                           const std::function<int(const std::string&)>& width)
{
    std::vector<std::string> out;
    const int room = text.right - text.left;
    std::string paragraph;
    auto flush = [&] {
        if (!text.wordBreak) {
            out.push_back(paragraph);
            return;
        }
        std::string line;
        std::size_t start = 0;
        for (;;) {
            const std::size_t space = paragraph.find(' ', start);
            const std::string word =
                paragraph.substr(start, space == std::string::npos ? space : space - start);
            const std::string longer = line.empty() ? word : line + " " + word;
            if (!line.empty() && width(longer) > room) {
                out.push_back(line);
                line = word;
            } else {
                line = longer;
            }
            if (space == std::string::npos) break;
            start = space + 1;
        }
        out.push_back(line);
    };
    const char* s = text.text ? text.text : "";
    for (; *s; ++s) {
        if (*s == '\n' || *s == '\r') {
            flush();
            paragraph.clear();
            // "\r\n" and "\n\r" are one break.
            if ((s[1] == '\n' || s[1] == '\r') && s[1] != *s) ++s;
            continue;
        }
        paragraph.push_back(*s);
    }
    flush();
    return out;
}

}  // namespace valvora
