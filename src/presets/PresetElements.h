#pragma once

#include <array>

// The names of the preset elements the editor reads and writes. Every other
// element and attribute of a preset is carried through untouched.
namespace voriraz::element {

inline constexpr const char *editable = "Editable";
inline constexpr std::array<const char *, 4> attributes {"Offence", "Defence", "Spellpower", "Knowledge"};
inline constexpr std::array<const char *, 3> warMachines {"Ballista", "FirstAidTent", "AmmoCart"};
inline constexpr const char *skills = "skills";
inline constexpr const char *perkIds = "perkIDs";
inline constexpr const char *spellIds = "spellIDs";
inline constexpr const char *primarySkillMastery = "PrimarySkillMastery";
inline constexpr const char *armySlots = "armySlots";
inline constexpr const char *artifactIds = "artifactIDs";
inline constexpr const char *isUntransferable = "isUntransferable";

inline constexpr const char *item = "Item";
inline constexpr const char *mastery = "Mastery";
inline constexpr const char *skillId = "SkillID";
inline constexpr const char *creature = "Creature";
inline constexpr const char *count = "Count";

} // namespace voriraz::element
