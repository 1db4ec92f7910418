#include "manager_binding/MathScriptFixture.h"

namespace {

const char* const MissingIndex = "the index";

TEST_F(MathScriptTest, VectorConstructionSetAndKeyedAccess)
{
    RunCases("vector_construct.nut");
    const zVector src = Global("src");
    ASSERT_EQ(1.5f, src.x);
    const zScriptError wrongParams{"Vector wrong parameters"};
    const zScriptErrorStart missing{MissingIndex};
    CheckAll({
        {"ctor_none", zVector(0, 0, 0, 1)},
        {"ctor_one_float", zVector(2, 0, 0, 1)},
        {"ctor_one_int", zVector(2, 0, 0, 1)},
        {"ctor_two", zVector(1, 2, 0, 1)},
        {"ctor_three", zVector(1, 2, 3, 1)},
        {"ctor_four_keeps_w", zVector(1, 2, 3, 4)},
        {"ctor_copy_keeps_w", src},
        {"ctor_copy_is_own", src},
        {"ctor_five_numbers", wrongParams},
        {"ctor_other_instance", zScriptError{"invalid instance type"}},
        {"ctor_string", zScriptErrorStart{"parameter 1 has an invalid type"}},
        {"ctor_instance_then_numbers", zVector(0, 2, 0, 1)},
        {"typeof_vector", std::string("Vector")},

        {"set_none", zVector(0, 0, 0, 1)},
        {"set_one", zVector(5, 0, 0, 1)},
        {"set_three", zVector(5, 6, 7.5f, 1)},
        {"set_four", zVector(5, 6, 7.5f, 8)},
        {"set_too_many", zScriptError{"Vector Set() wrong parameters"}},
        {"set_string", zScriptErrorStart{"parameter 1 has an invalid type"}},
        {"set_returns_null", zScriptNull{}},

        {"get_x", src.x},
        {"get_y", src.y},
        {"get_z", src.z},
        {"get_w", src.w},
        {"get_r", src.x},
        {"get_g", src.y},
        {"get_b", src.z},
        {"get_a", src.w},
        {"get_index_0", src.x},
        {"get_index_2", src.z},
        {"get_index_3", src.w},
        {"get_index_4", missing},
        {"get_index_negative", missing},
        {"get_two_letters", missing},
        {"get_empty", missing},
        {"get_unknown_letter", missing},

        {"set_key_x", zVector(5, 0, 0, 1)},
        {"set_key_g", zVector(0, 2.5f, 0, 1)},
        {"set_key_a", zVector(0, 0, 0, -1)},
        {"set_first_letter_only", zVector(5, 0, 0, 1)},
        {"set_empty_is_x", zVector(9, 0, 0, 1)},
        {"set_index_1", zVector(0, 4, 0, 1)},
        {"set_index_3", zVector(0, 0, 0, 0.5f)},
        {"set_index_4", missing},
        {"set_unknown_letter", missing},
        {"set_string_value_reads_0", zVector(src.x, 0, src.z, src.w)},

        {"clone_copies", src},
        {"clone_is_own", src},
        {"clone_changed", zVector(src.x, src.y, 42, src.w)},
    });
}

} // namespace
