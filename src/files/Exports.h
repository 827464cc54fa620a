#pragma once
// The bank written out as text for other tools: a Cakewalk instrument definition (.ins) with
// the program names, and a text report of programs, keymaps, samples and wave data.
#include <string>

namespace talmeru {

class ZedoDatabase;

std::string InstrumentDefinitionText(ZedoDatabase& db);
std::string BankReportText(ZedoDatabase& db);

// Write the texts with CR LF line ends. 0, or 1 with "Could not create \"%s\"." shown.
int ExportInstrumentDefinition(ZedoDatabase& db, const std::string& path);
int ExportBankReport(ZedoDatabase& db, const std::string& path);

}  // namespace talmeru
