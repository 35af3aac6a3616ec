#pragma once

#include "FinishChoices.h"

class SettingsFile;

// The settings behind a finished file's choices: the subtitle languages
// preselected and where subtitles go, and whether tags, chapters and a
// cover are written. A key the file lacks (one made by an older version)
// reads as its default: "en, de", in the file, all written.
namespace FinishSettings {

inline constexpr const char *languagesKey = "subtitle_languages";
inline constexpr const char *besideKey = "subtitles_beside";
inline constexpr const char *tagsKey = "embed_tags";
inline constexpr const char *chaptersKey = "embed_chapters";
inline constexpr const char *coverKey = "embed_cover";

// Subtitles: the default languages (to preselect, not yet chosen ones).
FinishChoices defaults(const SettingsFile &settings);
QString languages(const SettingsFile &settings);

} // namespace FinishSettings
