// core/json.h: a small read-only JSON parser for the component catalogs and the update manifest.
// Builds a whole tree of JsonValue nodes; nothing is ever written back. Pure, any thread.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class JsonType : uint32_t { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

// One node. Only the field matching `type` is meaningful; a node owns its children, copies are deep.
struct JsonValue {
    JsonType type = JsonType::Null;
    uint8_t boolean = 0;
    double number = 0.0;
    std::string string;
    std::vector<JsonValue> array;                             // document order
    std::vector<std::pair<std::string, JsonValue>> object;    // document order, duplicates kept

    // The first member with exactly this key (byte comparison); a shared null value when this is
    // not an object or nothing matches.
    const JsonValue& Find(std::string_view key) const;
    // "true"/"false"; an integral number as "%lld", any other number as "%g"; a string as it is;
    // `fallback` for null, arrays and objects.
    std::string AsString(const std::string& fallback = std::string()) const;
};

// The document's top value (any type). `ok`, when given, is true only when one value was parsed and
// nothing but blanks follows; on failure the result is null. Nesting deeper than 257 levels fails.
JsonValue JsonParse(std::string_view text, bool* ok = nullptr);
