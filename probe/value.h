#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace probe {

// A platform-neutral copy of what the window services give: numbers keep whether they were
// integral or floating point and their exact value, and maps keep keys of any kind, so that the
// reading rules can be applied to exactly what the platform said.
struct Value {
  enum class Kind { integer, floating, text, boolean, list, map, other };
  struct Entry;

  Kind kind = Kind::other;
  std::int64_t integer = 0;        ///< when `integer`
  double floating = 0;             ///< when `floating`
  std::string text;                ///< when `text`
  bool boolean = false;            ///< when `boolean`
  std::vector<Value> items;        ///< when `list`
  std::vector<Entry> entries;      ///< when `map`, in the platform's order

  static Value ofInteger(std::int64_t v);
  static Value ofFloating(double v);
  static Value ofText(std::string v);
  static Value ofBoolean(bool v);
  static Value ofList(std::vector<Value> v);
  static Value ofMap(std::vector<Entry> v);
};

/// One key and its value in a map.
struct Value::Entry {
  Value key;
  Value value;
};

inline Value Value::ofInteger(std::int64_t v) {
  Value value;
  value.kind = Kind::integer;
  value.integer = v;
  return value;
}

inline Value Value::ofFloating(double v) {
  Value value;
  value.kind = Kind::floating;
  value.floating = v;
  return value;
}

inline Value Value::ofText(std::string v) {
  Value value;
  value.kind = Kind::text;
  value.text = std::move(v);
  return value;
}

inline Value Value::ofBoolean(bool v) {
  Value value;
  value.kind = Kind::boolean;
  value.boolean = v;
  return value;
}

inline Value Value::ofList(std::vector<Value> v) {
  Value value;
  value.kind = Kind::list;
  value.items = std::move(v);
  return value;
}

inline Value Value::ofMap(std::vector<Entry> v) {
  Value value;
  value.kind = Kind::map;
  value.entries = std::move(v);
  return value;
}

}  // namespace probe
