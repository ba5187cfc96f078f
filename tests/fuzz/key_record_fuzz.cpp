// The key text encoding on any text of 0 to 200 bytes, into buffers of
// exactly the documented size (heap blocks, so the sanitizer sees one byte
// too far):
//  - DecodeKeyRecord writes floor(3 L / 4) bytes for a text of L characters;
//  - EncodeKeyRecord of any bytes gives characters "&" to "e", which decode
//    back to the same bytes;
//  - LoadKeyRecord decodes only a 102-character text, discards a record
//    with the wrong magic, and always leaves a valid header; StoreKeyRecord
//    gives a text that loads back to the same record.
//
// Input: 76 bytes that the record holds beforehand, then the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "core/module_state.h"
#include "fuzz_input.h"
#include "store/settings.h"
#include "ui/key_record.h"

namespace {

constexpr size_t kMaxText = 200;
constexpr size_t kRecordSize = sizeof(KeyRecordType);

size_t EncodedLength(size_t count) {
    return 4 * (count / 3) + (count % 3 ? count % 3 + 1 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const std::string held = in.Bytes(kRecordSize);
    std::string text = in.Bytes(kMaxText);
    text.resize(strnlen(text.c_str(), text.size()));  // a C text ends at its first zero

    // Decoding, into exactly floor(3 L / 4) bytes.
    const size_t length = text.size();
    auto text_block = std::make_unique<char[]>(length + 1);
    std::memcpy(text_block.get(), text.data(), length);
    text_block[length] = '\0';
    const size_t decoded_size = 3 * length / 4;
    auto decoded = std::make_unique<uint8_t[]>(decoded_size);
    FUZZ_CHECK(DecodeKeyRecord(ScrambleKey, decoded.get(), text_block.get()) == decoded_size, "decoded count");

    // Encoding the raw bytes of the text, into 4 * ceil(n / 3) + 1 bytes.
    const size_t count = length;
    auto encoded = std::make_unique<char[]>(4 * ((count + 2) / 3) + 1);
    const size_t encoded_length =
        EncodeKeyRecord(ScrambleKey, encoded.get(), reinterpret_cast<const uint8_t*>(text.data()), count);
    FUZZ_CHECK(encoded_length == EncodedLength(count), "encoded length");
    FUZZ_CHECK(encoded[encoded_length] == '\0', "terminator");
    for (size_t i = 0; i < encoded_length; ++i)
        FUZZ_CHECK(encoded[i] >= '&' && encoded[i] <= 'e', "a character outside & to e");
    auto back = std::make_unique<uint8_t[]>(3 * encoded_length / 4);
    FUZZ_CHECK(DecodeKeyRecord(ScrambleKey, back.get(), encoded.get()) == count, "round trip count");
    FUZZ_CHECK(std::memcmp(back.get(), text.data(), count) == 0, "round trip bytes");

    // LoadKeyRecord over a record that holds something already.
    ResetModuleState();
    std::memcpy(&KeyRecord, held.data(), held.size());
    const KeyRecordType before = KeyRecord;
    std::memcpy(ProfileSettings.Encryption, text_block.get(), length + 1);
    LoadKeyRecord();
    FUZZ_CHECK(KeyRecord.Magic == kKeyRecordMagic && KeyRecord.RecordLength == kKeyRecordLength &&
                   KeyRecord.RecordType == kKeyRecordType,
               "LoadKeyRecord left a header that is not valid");
    KeyRecordType expected;
    if (length == kEncodedKeyTextLength) {
        std::memcpy(&expected, decoded.get(), kRecordSize);
        if (expected.Magic != kKeyRecordMagic) std::memset(&expected, 0, kRecordSize);
    } else {
        expected = before;
        if (expected.Magic != kKeyRecordMagic) std::memset(&expected, 0, kRecordSize);
    }
    expected.Magic = kKeyRecordMagic;
    expected.RecordLength = kKeyRecordLength;
    expected.RecordType = kKeyRecordType;
    FUZZ_CHECK(std::memcmp(&KeyRecord, &expected, kRecordSize) == 0, "LoadKeyRecord gave another record");

    // What StoreKeyRecord writes loads back to the same record.
    StoreKeyRecord();
    FUZZ_CHECK(std::strlen(ProfileSettings.Encryption) == kEncodedKeyTextLength, "stored text length");
    const KeyRecordType stored = KeyRecord;
    std::memset(&KeyRecord, 0, kRecordSize);
    LoadKeyRecord();
    FUZZ_CHECK(std::memcmp(&KeyRecord, &stored, kRecordSize) == 0, "store and load changed the record");
    return 0;
}
