#pragma once

#include "framework/data_structure/ztLinkedList.h"
#include "framework/tools/zString.h"

#include <cstdint>

// A named, typed value for configuration-like data.
class zProperty {
public:
    enum Type : int32_t { None = 0, Float = 1, Integer = 2, String = 3, List = 4 };

    // Names and texts are copied.
    zProperty(const char* name, const char* text);
    zProperty(const char* name, int32_t value);
    zProperty(const char* name, float value);

    void SetString(const char* text);
    void SetInt(int32_t value);
    void SetFloat(float value);

    // False, with the out-argument untouched, when the type differs. A text
    // stays the property's, valid until its value changes.
    bool GetString(const char*& text) const;
    bool GetInt(int32_t& value) const;
    bool GetFloat(float& value) const;

    void ResetType() { type = None; }

    Type GetType() const { return type; }
    const zString& GetName() const { return name; }
    // The sub-properties of a List property; the property never deletes them.
    ztLinkedList<zProperty*>& GetList() { return list; }

private:
    // Frees an old string or clears an old list before a new value is stored.
    void ReleaseValue();

    Type type = None;
    union {
        float floatValue;
        int32_t intValue = 0;
    };
    zString text;
    ztLinkedList<zProperty*> list;
    zString name;
};
