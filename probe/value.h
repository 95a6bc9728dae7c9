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

  Kind kind = Kind::other;
  std::int64_t integer = 0;                          ///< when `integer`
  double floating = 0;                               ///< when `floating`
  std::string text;                                  ///< when `text`
  bool boolean = false;                              ///< when `boolean`
  std::vector<Value> items;                          ///< when `list`
  std::vector<std::pair<Value, Value>> entries;      ///< when `map`, in the platform's order

  static Value ofInteger(std::int64_t v) {
    Value value;
    value.kind = Kind::integer;
    value.integer = v;
    return value;
  }
  static Value ofFloating(double v) {
    Value value;
    value.kind = Kind::floating;
    value.floating = v;
    return value;
  }
  static Value ofText(std::string v) {
    Value value;
    value.kind = Kind::text;
    value.text = std::move(v);
    return value;
  }
  static Value ofBoolean(bool v) {
    Value value;
    value.kind = Kind::boolean;
    value.boolean = v;
    return value;
  }
  static Value ofList(std::vector<Value> v) {
    Value value;
    value.kind = Kind::list;
    value.items = std::move(v);
    return value;
  }
  static Value ofMap(std::vector<std::pair<Value, Value>> v) {
    Value value;
    value.kind = Kind::map;
    value.entries = std::move(v);
    return value;
  }
};

}  // namespace probe
