// Argument checking and coercion shared by the controls' Invoke: a put takes one argument, a get
// none; numbers convert between int, double and bool as automation would, strings do not.
#pragma once

#include "platform/com/com.h"

#include <optional>
#include <span>
#include <string>

namespace platform::instruments {

struct Call {
    WORD flags;
    std::span<const com::Variant> args;
    com::Variant* result;

    bool IsPut() const { return flags & DISPATCH_PROPERTYPUT; }
    bool IsGet() const { return flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD); }
    bool IsMethod() const { return flags & DISPATCH_METHOD; }
};

template <class T>
std::optional<T> Coerce(const com::Variant& v)
{
    if constexpr (std::is_same_v<T, std::string>) {
        if (auto s = std::get_if<std::string>(&v)) return *s;
        return std::nullopt;
    } else {
        if (auto b = std::get_if<bool>(&v)) return T(*b);
        if (auto i = std::get_if<int32_t>(&v)) return std::is_same_v<T, bool> ? T(*i != 0) : T(*i);
        if (auto d = std::get_if<double>(&v)) return std::is_same_v<T, bool> ? T(*d != 0.0) : T(*d);
        return std::nullopt;
    }
}

// A property with a get and, when `set` is given, a put. `set` returns the HRESULT of the put.
template <class T, class Get, class Set>
HRESULT Property(const Call& c, Get get, Set set)
{
    if (c.IsPut()) {
        if (c.args.size() != 1) return DISP_E_BADPARAMCOUNT;
        auto v = Coerce<T>(c.args[0]);
        if (!v) return DISP_E_TYPEMISMATCH;
        return set(*v);
    }
    if (c.IsGet()) {
        if (!c.args.empty()) return DISP_E_BADPARAMCOUNT;
        if (c.result) *c.result = com::Variant(T(get()));
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

// A method taking one argument of type T.
template <class T, class F>
HRESULT Method1(const Call& c, F f)
{
    if (!c.IsMethod()) return DISP_E_MEMBERNOTFOUND;
    if (c.args.size() != 1) return DISP_E_BADPARAMCOUNT;
    auto v = Coerce<T>(c.args[0]);
    if (!v) return DISP_E_TYPEMISMATCH;
    if (c.result) *c.result = com::Variant();
    return f(*v);
}

template <class F>
HRESULT Method0(const Call& c, F f)
{
    if (!c.IsMethod()) return DISP_E_MEMBERNOTFOUND;
    if (!c.args.empty()) return DISP_E_BADPARAMCOUNT;
    if (c.result) *c.result = com::Variant();
    f();
    return S_OK;
}

}  // namespace platform::instruments
