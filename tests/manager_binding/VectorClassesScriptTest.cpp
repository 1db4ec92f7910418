#include "manager_binding/MathScriptFixture.h"

#include <cstdio>

namespace {

TEST_F(MathScriptTest, VectorComparisonsReadCmpAsZeroOrOne)
{
    RunCases("vector_compare.nut");
    CheckAll({
        {"eq_same_instance", true},
        {"eq_equal_values", false},
        {"ne_equal_values", true},
        {"spaceship_nearly_equal", 1},
        {"spaceship_different", 0},
        {"less_nearly_equal", false},
        {"less_different", false},
        {"less_equal_nearly_equal", false},
        {"less_equal_different", true},
        {"greater_nearly_equal", true},
        {"greater_different", false},
        {"greater_equal_different", true},
        {"cmp_other_class", zScriptError{"invalid instance type"}},
        {"cmp_number", zScriptErrorStart{"comparison between"}},
    });
}

TEST_F(MathScriptTest, VectorSubclassesPassAsVectors)
{
    RunCases("vector_subclass.nut");
    const zVector p = Global("p");
    const zVector q = Global("q");
    const zVector u = Global("u");
    const zMatrix4 m4 = GlobalMatrix4("m4");
    ASSERT_EQ(-2.0f, p.y);
    zMatrix3 withRow;
    withRow.SetRow(1, q);
    CheckAll({
        {"subclass_reads_members", p.y},
        {"subclass_keeps_own_fields", std::string("p")},
        {"subclass_typeof", std::string("Vector")},
        {"subclass_instanceof", true},
        {"subclass_method", p * 2.0f},
        {"subclass_plus_vector", p + u},
        {"vector_plus_subclass", u + p},
        {"subclass_cross", u.Cross(p)},
        {"subclass_as_argument_dot", q.Dot(p)},
        {"subclass_result_is_plain_vector", false},
        {"subclass_result_class", std::string("Vector")},
        {"subclass_copy_constructor", p},
        {"subclass_times_matrix", p.Transform(m4)},
        {"subclass_matrix_rows", Matrix4FromRows(p, q, u, zVector())},
        {"subclass_matrix_set_row", withRow},
        {"subclass_function_argument",
         zMatrix4::FromTransformation(p, zVector(0, 0, 0), zVector(1, 1, 1), zVector(0, 0, 0))},
        {"subclass_clone", std::string("1,9,p")},
        {"subclass_default_constructor", zVector(0, 0, 0, 1)},
        {"subclass_without_base_constructor", zScriptError{"internal failure"}},
        {"subclass_compare", 1},
        {"subclass_set", zVector(7, 8, 0, 1)},
    });
}

std::string Row(const char* name, float x, float y, float z)
{
    char line[160];
    if (name)
        std::snprintf(line, sizeof(line), "[S] Vector '%s' = {%.3f,%.3f,%.3f}\n", name, x, y, z);
    else
        std::snprintf(line, sizeof(line), "[S] Vector = {%.3f,%.3f,%.3f}\n", x, y, z);
    return line;
}

struct PrintCase {
    const char* call;
    std::vector<std::string> lines;
};

TEST_F(MathScriptTest, PrintLogsVectorsAndMatrixRows)
{
    ASSERT_TRUE(RunText("v <- Vector(1.25, -2.5, 3.0625, 8.0);"
                        "m <- Matrix4(1.0, 2.0, 3.0, 4.0,  5.0, 6.0, 7.0, 8.0,  9.0, 10.0, 11.0, 12.0,  13.0, 14.0, 15.0, 16.0)"));
    const zVector vec = Global("v");
    const zMatrix4 m = GlobalMatrix4("m");
    auto dump = [&](const char* name) {
        std::vector<std::string> lines{std::string("Dumping matrix '") + name + "':\n"};
        for (int i = 0; i < 4; ++i)
            lines.push_back(Row("Row", m.m[i], m.m[i + 4], m.m[i + 8]));
        return lines;
    };
    const PrintCase cases[] = {
        {"v.Print()", {Row("Vector", vec.x, vec.y, vec.z)}},
        {"v.Print(\"pos\")", {Row("pos", vec.x, vec.y, vec.z)}},
        {"v.Print(12)", {Row(nullptr, vec.x, vec.y, vec.z)}},
        {"v.Print(\"a\", \"b\")", {Row("Vector", vec.x, vec.y, vec.z)}},
        {"m.Print()", dump("Matrix")},
        {"m.Print(\"world\")", dump("world")},
        {"m.Print(3)", dump("")},
        {"m.Print(\"a\", \"b\")", dump("Matrix")},
    };
    for (const PrintCase& c : cases) {
        SCOPED_TRACE(c.call);
        LogCapture log;
        ASSERT_TRUE(RunText(c.call));
        EXPECT_EQ(c.lines, log.lines);
    }
}

} // namespace
