// What the profile's property sheet holds: its pages, by the network type
// of the profile and the Windows family, and the caption that names the
// profile. Plain values in and out, so the rules are tested without windows.
#pragma once

#include <cstddef>
#include <cstdint>

// One page of the sheet: its dialog template and its tab title (string id).
struct SheetPageEntry {
    int template_id;
    int title_id;
};

constexpr size_t kMaxSheetPages = 5;

struct SheetPageList {
    size_t count;
    SheetPageEntry pages[kMaxSheetPages];
};

// The pages, in order: Basic for every profile; Encryption, Advanced and
// Admin for an "Access Point" profile (network type 0); Adapter last on
// Windows NT 4.0 (`os_class` 4) when `softex_pcmcia` is 0.
SheetPageList ProfileSheetPages(uint32_t network_type, uint32_t os_class, uint32_t softex_pcmcia);

constexpr size_t kSheetCaptionSize = 256;

// The caption that names profile `name`: `current` (the sheet's caption) up
// to the blank before its first " [", then " [", the name and "]". A caption
// that starts with "[" keeps nothing of it. Cut to 255 characters.
void ComposeSheetCaption(const char* current, const char* name, char (&caption)[kSheetCaptionSize]);
