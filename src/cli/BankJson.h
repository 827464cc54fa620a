#pragma once
#include <nlohmann/json.hpp>

namespace talmeru {

class ZedoDatabase;

// The whole bank as JSON, for scripts and for comparing banks.
nlohmann::ordered_json BankToJson(ZedoDatabase& db);

}  // namespace talmeru
