// Any bytes as a hand-edited registry file: parsed or refused with a message, never a crash;
// what parses survives a rewrite, and a value written into it reads back.
#include "platform/registry_file.h"

#include "platform/exception.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick";

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    RegistryFile file;
    try {
        file = RegistryFile::parse(text, "registry.reg");
    } catch (const Exception& e) {
        check(e.message.rfind("registry.reg", 0) == 0);
        return 0;
    }
    const bool hadKey = file.hasSection(key);
    const auto before = file.value(key, "resolution");

    // Unchanged, the file reads back as it was.
    const RegistryFile same = RegistryFile::parse(file.serialise(), "registry.reg");
    check(same.hasSection(key) == hadKey);
    const auto again = same.value(key, "resolution");
    check(before.has_value() == again.has_value());
    if (before && again) {
        check(before->type == again->type && before->integer == again->integer &&
              before->string == again->string);
    }

    // Writes keep the file readable, and what they wrote reads back; the input doubles as the
    // string, so that every byte passes through the escapes.
    file.setInteger(key, "resolution", static_cast<int32_t>(size) - 1);
    file.setString(key, "customize", text);
    const RegistryFile written = RegistryFile::parse(file.serialise(), "registry.reg");
    check(written.hasSection(key));
    const auto resolution = written.value(key, "resolution");
    check(resolution && resolution->type == RegistryValue::Type::Integer &&
          resolution->integer == static_cast<int32_t>(size) - 1);
    const auto customize = written.value(key, "customize");
    check(customize && customize->type == RegistryValue::Type::String &&
          customize->string == text.substr(0, text.find('\0')));
    return 0;
}
