// The one interface every device of the machine offers: how it resets, how
// its record is saved and loaded, and how its host-side part follows the
// record when the machine is replaced by a copy. The machine keeps the
// devices in a table in their initialisation order; power-on, warm and cold
// restarts, model and clock changes all go through it.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

enum class reset_kind : uint8_t {
    power_on,       // machine_init: everything from the start
    warm,           // "Meleg restart": memory stays
    cold,           // "Hideg restart": memory cleared, then as warm
    model_change,   // a cold restart on another memory map
    clock_change,   // the processor and the bus at a new rate
};

// Reads or writes a device record field by field, little-endian, so one
// function serves both ways. Reading past the end gives zeros and marks the
// stream short; a device whose record has grown reads old streams so.
class state_io {
public:
    // For saving: fields are appended to out.
    explicit state_io(std::vector<uint8_t>& out) : out_(&out) {}
    // For loading: fields are read from the bytes.
    state_io(const uint8_t* data, size_t size) : in_(data), size_(size) {}

    bool loading() const { return out_ == nullptr; }
    bool short_read() const { return short_; }

    template <class T>
    void operator()(T& value)
    {
        static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>, "fields are numbers");
        uint64_t v = 0;
        if constexpr (std::is_enum_v<T>) v = static_cast<uint64_t>(static_cast<std::underlying_type_t<T>>(value));
        else if constexpr (std::is_floating_point_v<T>) v = std::bit_cast<uint64_t>(static_cast<double>(value));
        else v = static_cast<uint64_t>(value);
        constexpr size_t width = std::is_floating_point_v<T> ? 8 : sizeof(T);
        if (!loading()) {
            for (size_t i = 0; i < width; ++i) out_->push_back(static_cast<uint8_t>(v >> (8 * i)));
            return;
        }
        v = 0;
        for (size_t i = 0; i < width; ++i) v |= static_cast<uint64_t>(next()) << (8 * i);
        if constexpr (std::is_same_v<T, bool>) value = v != 0;
        else if constexpr (std::is_floating_point_v<T>) value = static_cast<T>(std::bit_cast<double>(v));
        else value = static_cast<T>(v);
    }
    // A block of bytes, or of integers, element by element.
    void bytes(uint8_t* data, size_t count);
    // A buffer of bytes up to its last non-zero one (its length first);
    // loading clears the rest. For memories that are mostly empty.
    void trimmed(uint8_t* data, size_t count);
    template <class T, size_t N>
    void array(T (&a)[N])
    {
        for (T& v : a) (*this)(v);
    }
    template <class Array>
    void array(Array& a)
    {
        for (auto& v : a) (*this)(v);
    }

private:
    uint8_t next();
    std::vector<uint8_t>* out_ = nullptr;
    const uint8_t* in_ = nullptr;
    size_t size_ = 0;
    size_t at_ = 0;
    bool short_ = false;
};

struct device_t {
    char tag[5];                    // names the record's chunk in a snapshot
    void (*reset)(reset_kind kind);
    void (*state)(state_io& io);    // the record, both ways
    void (*restored)();             // the host-side part follows the record
};

// The devices in their initialisation order.
extern const device_t machine_devices[];
extern const size_t machine_device_count;

// Every device's reset of the kind, in the table's order.
void devices_reset(reset_kind kind);
// Every record as tagged chunks (4-byte tag, 16-bit length, the fields).
std::vector<uint8_t> devices_save();
// Loads the chunks of devices_save: unknown tags are skipped, a record
// whose chunk is missing stays as it is. False when the chunks run past the
// end.
bool devices_load(const uint8_t* data, size_t size);
