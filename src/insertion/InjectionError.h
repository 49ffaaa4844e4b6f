#pragma once

#include "insertion/AXError.h"

#include <QString>

namespace sayloom {

// Why a direct insertion did not happen. Two values are equal when they are the same case and,
// for axFailure, carry the same code.
class InjectionError {
public:
    enum class Case {
        // Any accessibility failure not mapped to a case below; carries the raw code.
        axFailure,
        // This session may not use the accessibility interface, or the target does not offer it.
        accessibilityNotGranted,
        // Nothing usable has keyboard focus.
        noFocusedElement,
        // The focused element is not a plain text field, or it is a web element.
        notTextElement,
        // The target could not complete the request now (busy or timed out).
        temporarilyUnavailable,
        // The focused element refuses to have its selected text set.
        attributeNotSettable,
        // The focused element took the write without complaint but its text did not change.
        writeIgnored,
    };

    static InjectionError axFailure(AXError code) { return InjectionError(Case::axFailure, code); }
    static InjectionError accessibilityNotGranted() { return {Case::accessibilityNotGranted}; }
    static InjectionError noFocusedElement() { return {Case::noFocusedElement}; }
    static InjectionError notTextElement() { return {Case::notTextElement}; }
    static InjectionError temporarilyUnavailable() { return {Case::temporarilyUnavailable}; }
    static InjectionError attributeNotSettable() { return {Case::attributeNotSettable}; }
    static InjectionError writeIgnored() { return {Case::writeIgnored}; }

    Case errorCase() const { return case_; }
    // The accessibility code of an axFailure; 0 for the other cases.
    AXError code() const { return code_; }

    // The case name, and for axFailure the name with its code: "axFailure(-25204)".
    QString description() const;

    friend bool operator==(const InjectionError&, const InjectionError&) = default;

private:
    InjectionError(Case c, AXError code = 0) : case_(c), code_(c == Case::axFailure ? code : 0) {}

    Case case_;
    AXError code_;
};

} // namespace sayloom
