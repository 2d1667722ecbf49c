// _encryption, and every kernel this CPU can run, against a byte-at-a-time
// reference on arbitrary bytes and lengths.
#include <encrypt/encryption.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "kernels.hpp"
#include "reference.hpp"

namespace {

using encrypt::test::reference_mix;

// One byte at a time: even bytes start a unit, odd bytes fill its high half.
std::vector<std::uint32_t> reference(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint32_t> units;
    for (std::size_t i = 0; i < size; ++i) {
        if (i % 2 == 0) {
            units.push_back(data[i]);
        } else {
            units.back() |= std::uint32_t{data[i]} << 8;
        }
    }
    for (auto& unit : units) {
        unit = reference_mix(unit);
    }
    return units;
}

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy with no terminator: any read past it is caught.
    std::unique_ptr<char[]> text(new char[size == 0 ? 1 : size]);
    if (size != 0) {
        std::memcpy(text.get(), data, size);
    }
    const auto length = static_cast<std::uint32_t>(size);
    const std::vector<std::uint32_t> expected = reference(data, size);

    std::uint32_t* words = encrypt::_encryption(text.get(), length);
    if (size == 0) {
        check(words == nullptr);
        return 0;
    }
    check(words != nullptr);
    check(std::memcmp(words, expected.data(), expected.size() * sizeof(std::uint32_t)) == 0);
    std::free(words);

    for (std::size_t k = 0; k < encrypt::detail::kernel_count; ++k) {
        const auto& kernel = encrypt::detail::kernels[k];
        if (!kernel.supported()) {
            continue;
        }
        std::vector<std::uint32_t> packed(expected.size());
        kernel.pack_transform(packed.data(), reinterpret_cast<const unsigned char*>(text.get()),
                              size);
        check(packed == expected);

        // The data again as arbitrary words, through the in-place transform.
        std::vector<std::uint32_t> in(size / 4);
        if (!in.empty()) {
            std::memcpy(in.data(), data, in.size() * sizeof(std::uint32_t));
        }
        std::vector<std::uint32_t> out = in;
        kernel.transform(out.data(), out.size());
        for (std::size_t i = 0; i < in.size(); ++i) {
            check(out[i] == reference_mix(in[i]));
        }
    }
    return 0;
}
