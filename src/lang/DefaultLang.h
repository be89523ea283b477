#pragma once

// One entry of the built-in language table. Texts are UTF-8 literals; "\r\n" inside a text is a
// real line break of the caption and is written to Lang.txt as "///".
struct TLangEntry {
    const char *Name;
    const char *Chinese;
    const char *English;
};

// The built-in table, in the order FillDefaultTable adds it.
extern const TLangEntry DefaultLangEntries[];
extern const int DefaultLangCount;
