#pragma once
// A run-time failure of one program statement. Failure sites throw it through
// fail() or check(); the statement is known by its source location and mapped
// to its program-wide number by the table generated from the sources at build
// time (every line that calls one of these functions is a numbered statement).
#include <cstdint>
#include "core/source_location.h"
#include <stdexcept>
#include <string>

namespace qv {

class Failure : public std::runtime_error {
public:
    Failure(int32_t number, std::string description, SourceLocation where)
        : std::runtime_error(description), number_(number), where_(where) {}

    int32_t number() const { return number_; }
    const char* description() const { return what(); }
    const SourceLocation& where() const { return where_; }

private:
    int32_t number_;
    SourceLocation where_;
};

[[noreturn]] inline void fail(int32_t number, std::string description,
                              SourceLocation where = SourceLocation::current()) {
    throw Failure(number, std::move(description), where);
}

inline void check(bool ok, int32_t number, const char* description,
                  SourceLocation where = SourceLocation::current()) {
    if (!ok) throw Failure(number, description, where);
}

}  // namespace qv
