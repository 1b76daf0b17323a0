// The settings hive: any text the parser accepts must be written back byte for byte, and must
// stay readable after the program changes it, with the changed value reading back. The
// input's first byte picks the changes, so the fuzzer explores them along with the text.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/settings/hive_format.h"

namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31";

void require(bool condition) {
    if (!condition)
        std::abort();
}

kvx::HiveDocument reparsed(const kvx::HiveDocument& doc) {
    const std::string text = doc.serialize();
    kvx::HiveParseError error;
    auto again = kvx::HiveDocument::parse(text, error);
    require(again.has_value());
    require(again->serialize() == text);
    return std::move(*again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const unsigned pick = data[0];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    kvx::HiveParseError error;
    auto doc = kvx::HiveDocument::parse(text, error);
    if (!doc)
        return 0;
    require(doc->serialize() == text);

    // Without the key, it comes in as the setup command brings it.
    if (!doc->hasKey(kKey)) {
        auto defaults = kvx::HiveDocument::parse(
            "REGEDIT4\r\n\r\n[" + kKey + "]\r\n\"autoname\"=dword:00000000\r\n", error);
        require(defaults.has_value());
        require(doc->appendKeyFrom(*defaults, kKey));
        doc = reparsed(*doc);
        require(doc->hasKey(kKey));
    }

    static const char* const kNames[] = {"temp", "TEMP", "autoname", "", "new \"one\" \\"};
    static const kvx::RegValue kValues[] = {
        kvx::RegValue::text("1"),
        kvx::RegValue::text("C:\\Tools \"x\""),
        kvx::RegValue::text(std::string("two\r\nlines\0", 11)),
        kvx::RegValue::dword(0xdeadbeefu),
        {kvx::RegBinary, std::string(40, '\x7f')},
        {0x20000u, ""},
    };
    const std::string name = kNames[pick % 5];
    const kvx::RegValue& value = kValues[(pick / 5) % 6];
    require(doc->set(kKey, name, value));
    doc = reparsed(*doc);
    const auto found = doc->find(kKey, name);
    require(found.has_value() && *found == value);

    // A change of another value keeps the first ("temp" and "TEMP" are one value).
    const unsigned otherIndex = (pick % 5 + 1 + (pick / 30) % 4) % 5;
    const std::string other = kNames[otherIndex];
    if (otherIndex + pick % 5 != 1) {
        require(doc->set(kKey, other, kValues[0]));
        doc = reparsed(*doc);
        require(doc->find(kKey, other) == kValues[0] && doc->find(kKey, name) == value);
    }
    return 0;
}
