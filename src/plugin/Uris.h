#pragma once
// The plugin's names, shared by the plugin, its description (talmeru.ttl) and the test host.

namespace talmeru::plugin {

inline constexpr const char* kPluginUri = "urn:talmeru:ma1";
// The bank: a patch:writable parameter whose value is an atom:Path.
inline constexpr const char* kBankUri = "urn:talmeru:ma1#bank";

}  // namespace talmeru::plugin
