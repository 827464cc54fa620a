#pragma once
// Kurzweil K2000 import (.krz): programs, keymaps and RAM samples become MA-1 objects, the
// samples playing their stretch of the file's sample block. The bank starts as the MA-1 ROM
// bank's keymaps and sample headers, and layers that play a K2000 ROM keymap play the MA-1
// ROM keymap that comes closest.
#include <string>

namespace talmeru {

class ConversionLog;
class ZedoDatabase;

// Converts the K2000 file at path into db (emptied by the caller), reporting every object
// in log. 0 when the file was read; 1 when it cannot be opened ("problem with opening\n" has
// been shown) or is too short to be a K2000 file.
int ImportK2000(const std::string& path, ZedoDatabase& db, const ZedoDatabase& rom,
                ConversionLog& log);

}  // namespace talmeru
