#include "framework/data_structure/zProperty.h"

zProperty::zProperty(const char* propertyName, const char* value) : name(propertyName)
{
    ResetType();
    SetString(value);
}

zProperty::zProperty(const char* propertyName, int32_t value) : name(propertyName)
{
    ResetType();
    SetInt(value);
}

zProperty::zProperty(const char* propertyName, float value) : name(propertyName)
{
    ResetType();
    SetFloat(value);
}

void zProperty::ReleaseValue()
{
    if (type == String)
        text.Clear();
    else if (type == List)
        list.Clear();
}

void zProperty::SetString(const char* value)
{
    ReleaseValue();
    text.AssignText(value);
    type = String;
}

void zProperty::SetInt(int32_t value)
{
    ReleaseValue();
    intValue = value;
    type = Integer;
}

void zProperty::SetFloat(float value)
{
    ReleaseValue();
    floatValue = value;
    type = Float;
}

bool zProperty::GetString(const char*& value) const
{
    if (type != String)
        return false;
    value = text.Get();
    return true;
}

bool zProperty::GetInt(int32_t& value) const
{
    if (type != Integer)
        return false;
    value = intValue;
    return true;
}

bool zProperty::GetFloat(float& value) const
{
    if (type != Float)
        return false;
    value = floatValue;
    return true;
}
