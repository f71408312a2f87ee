// Profiles in the registry, below the root's "Profiles" key: one key per profile named by
// the profile, one subkey per entry named by its code, holding "Trans", "Command", "Params"
// (REG_SZ), "AutoConv" and "Show" (REG_DWORD). Activation makes a profile current and copies
// its filters and Auto-ISBN flags into the back-end.
#pragma once
#include "profiles/core/profile_model.h"
#include "profiles/core/registry_port.h"

namespace pellix {

class TransformSink;

constexpr const char* kNoProfileName = "<No Profile>";
constexpr int kEntryNameSize = 20;  // entry subkeys are read back with 19 characters at most

// Names the registry stores as one key that every operation can enumerate again: a profile
// name of 1 to 199 characters, an entry code of 1 to 19, neither holding '\' (which the
// registry takes as a path).
bool IsStorableProfileName(const char* name);
bool IsStorableCode(const char* code);

// Refills the list with the stored names in enumeration order (at most 200).
bool LoadNames(ProfileNameList& list, RegistryPort& registry);
// Refills the table from the profile's key (created when missing: it then loads empty).
// False when the key cannot be opened or the name is not storable.
bool LoadProfile(ProfileTable& table, RegistryPort& registry, const char* name);
// Replaces the stored entries by the table's. Refused, touching nothing, when the name or a
// code is not storable or two codes would address one key.
bool SaveProfile(const ProfileTable& table, RegistryPort& registry, const char* name);
// Removes the profile's key with everything below it; false when it could not be removed or
// the name is not storable (nothing is then touched).
bool DeleteProfile(RegistryPort& registry, const char* name);

// A new, empty profile. kProfileExists also for a name that differs from a stored one only
// in letter case: the registry would take it as that profile, whose entries must stay.
enum class CreateProfileResult { kCreated, kExists, kInvalid, kFailed };
CreateProfileResult CreateProfile(RegistryPort& registry, const char* name);

// Makes the named profile current (null, empty or "<No Profile>": none). On success
// "CurProfile" names it; when it cannot be loaded no profile is current and "CurProfile" keeps
// its value. `currentProfileName` is kProfileNameSize bytes and may be `name` itself.
void ActivateProfile(RegistryPort& registry, TransformSink& backEnd, ProfileTable& table,
                     char* currentProfileName, const char* name);
// Copies the table's codes, filters and Auto-ISBN flags into a back-end that holds its own
// transforms, in slot order; nothing in driver mode.
void PushTransforms(const ProfileTable& table, TransformSink& backEnd);

}  // namespace pellix
