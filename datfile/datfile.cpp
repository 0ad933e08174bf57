// Placeholder until the reader lands.
#include "datfile/datfile.h"

#include "shell/exception.h"

DatFile::DatFile(const std::string& path) { throw Exception("Cannot open file " + path); }
DatFile::~DatFile() = default;
Bitmap* DatFile::getBitmap(const std::string&) const { return nullptr; }
