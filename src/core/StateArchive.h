#pragma once
// The bytes of a checkpoint: what a frame changes and a later frame reads. Every class with such
// state lists it once, in one function that both saves and restores, so that the two can never
// disagree about the order or forget a member on one side only:
//
//     void NoiseLayer::archiveState(StateArchive& archive) {
//         archive(position, rate, direction, noiseState, fadeLimit, lastTime);
//     }
//
// Only values are archived, never addresses, so a checkpoint restores into another instance of
// the show as well as into the one that made it. A pointer that changes while the show runs is
// archived as the index of what it points at (pointerInto).

#include "platform/ptc/Error.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <type_traits>
#include <vector>

class StateArchive {
public:
    // An archive that appends what it is given to `bytes`.
    static StateArchive saving(std::vector<std::uint8_t>& bytes) { return StateArchive(&bytes, nullptr); }
    // An archive that overwrites what it is given with `bytes`, read from the start.
    static StateArchive restoring(const std::vector<std::uint8_t>& bytes) { return StateArchive(nullptr, &bytes); }

    bool isSaving() const { return out != nullptr; }

    // Plain values and arrays of them: numbers, flags, structs of numbers.
    template <class... Values> void operator()(Values&... values) { (value(values), ...); }

    template <class T> void value(T& value) {
        static_assert(std::is_trivially_copyable_v<T>, "archive only plain values");
        static_assert(!std::is_pointer_v<std::remove_all_extents_t<T>>, "archive what a pointer points at, not the address");
        bytes(&value, sizeof value);
    }

    // `count` plain values at `data`, a buffer whose size never changes.
    template <class T> void buffer(T* data, std::size_t count) {
        static_assert(std::is_trivially_copyable_v<T> && !std::is_pointer_v<T>, "archive only plain values");
        bytes(data, count * sizeof(T));
    }

    // A vector of plain values, its length included.
    template <class T> void vector(std::vector<T>& values) {
        std::uint64_t size = values.size();
        value(size);
        if (!isSaving())
            values.resize(checkedCount(size, sizeof(T)));
        buffer(values.data(), values.size());
    }

    // A pointer that is null or one of `candidates`, archived as its index (-1 for null).
    template <class T> void pointerInto(T*& pointer, std::initializer_list<T*> candidates) {
        std::int32_t index = -1;
        if (isSaving()) {
            std::int32_t at = 0;
            for (T* candidate : candidates) {
                if (pointer != nullptr && candidate == pointer) {
                    index = at;
                    break;
                }
                ++at;
            }
            if (pointer != nullptr && index < 0)
                throw ptc::DynamicError("checkpoint: a pointer to something that is not archived");
        }
        value(index);
        if (!isSaving()) {
            if (index < -1 || index >= std::int32_t(candidates.size()))
                throw ptc::DynamicError("checkpoint: damaged pointer index");
            pointer = index < 0 ? nullptr : candidates.begin()[index];
        }
    }

    // Raw bytes: copied out when saving, overwritten when restoring.
    void bytes(void* data, std::size_t size) {
        if (size == 0)
            return;
        if (out) {
            const auto* first = static_cast<const std::uint8_t*>(data);
            out->insert(out->end(), first, first + size);
            return;
        }
        if (size > in->size() - position)
            throw ptc::DynamicError("checkpoint: shorter than the show's state");
        std::memcpy(data, in->data() + position, size);
        position += size;
    }

    // Restoring: true once every byte has been read back.
    bool atEnd() const { return in == nullptr || position == in->size(); }

private:
    StateArchive(std::vector<std::uint8_t>* saveTo, const std::vector<std::uint8_t>* restoreFrom)
        : out(saveTo), in(restoreFrom) {}

    std::size_t checkedCount(std::uint64_t count, std::size_t elementSize) const {
        if (count > (in->size() - position) / elementSize)
            throw ptc::DynamicError("checkpoint: shorter than the show's state");
        return std::size_t(count);
    }

    std::vector<std::uint8_t>* out;
    const std::vector<std::uint8_t>* in;
    std::size_t position = 0;
};
