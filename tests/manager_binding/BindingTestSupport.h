#pragma once

#include "../script/ScriptTestSupport.h"
#include "manager_binding/SqBinding.h"

// A started master with every binding registered.
class BindingFixture : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        SqRegisterBindings(v);
    }
};
