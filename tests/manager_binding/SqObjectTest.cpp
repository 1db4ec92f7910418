#include "BindingTestSupport.h"

#include "manager_binding/SqObject.h"

#include <map>

namespace {

class SqObjectTest : public BindingFixture {
protected:
    // The root-table value of that name, held by an SqObject.
    SqObject Global(const char* name)
    {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        sq_get(v, -2);
        SqObject out(v);
        out.AttachToStackObject(-1);
        sq_pop(v, 2);
        return out;
    }

    // References held by the host (SqObjects and the like), not by scripts.
    SQUnsignedInteger Refs(const SqObject& o)
    {
        HSQOBJECT raw = o.GetObjectHandle();
        return sq_getrefcount(v, &raw);
    }
};

TEST_F(SqObjectTest, AttachingAgainKeepsOnlyTheNewReference)
{
    ASSERT_TRUE(Load("values.nut", "first <- [1]; second <- [2];\n"));
    SqObject first = Global("first");
    SqObject second = Global("second");
    EXPECT_EQ(Refs(first), 1u);
    {
        SqObject holder(v);
        sq_pushobject(v, first.GetObjectHandle());
        holder.AttachToStackObject(-1);
        sq_pop(v, 1);
        EXPECT_EQ(Refs(first), 2u);
        sq_pushobject(v, second.GetObjectHandle());
        holder.AttachToStackObject(-1);
        sq_pop(v, 1);
        EXPECT_EQ(Refs(first), 1u);
        EXPECT_EQ(Refs(second), 2u);
    }
    EXPECT_EQ(Refs(second), 1u);
}

TEST_F(SqObjectTest, WithoutVmNothingIsReleased)
{
    ASSERT_TRUE(Load("values.nut", "held <- [1];\n"));
    SqObject held = Global("held");
    {
        SqObject detached(nullptr, held.GetObjectHandle());
        detached.AttachToStackObject(-1);
        EXPECT_EQ(detached.Len(), 0);
        EXPECT_FALSE(detached.SetValue("x", SQInteger(1)));
    }
    EXPECT_EQ(Refs(held), 1u);
}

TEST_F(SqObjectTest, CopiesAndAssignmentsCountReferences)
{
    ASSERT_TRUE(Load("values.nut", "a <- {}; b <- {};\n"));
    SqObject a = Global("a");
    {
        SqObject copy(a);
        EXPECT_EQ(Refs(a), 2u);
        SqObject other = Global("b");
        copy = other;
        EXPECT_EQ(Refs(a), 1u);
        copy = copy;
        EXPECT_EQ(Refs(other), 2u);
        copy = a.GetObjectHandle();
        EXPECT_EQ(Refs(a), 2u);
        EXPECT_EQ(Refs(other), 1u);
    }
    EXPECT_EQ(Refs(a), 1u);
}

TEST_F(SqObjectTest, SlotsByNameAndIndexWithDefaults)
{
    ASSERT_TRUE(Load("values.nut", "t <- {}; arr <- [0, 0];\n"
                                   "class Thing { n = 0; }\n thing <- Thing();\n"));
    const SQInteger top = sq_gettop(v);
    SqObject t = Global("t");
    EXPECT_TRUE(t.SetValue("i", SQInteger(7)));
    EXPECT_TRUE(t.SetValue("f", SQFloat(1.5f)));
    EXPECT_TRUE(t.SetValue("s", "text"));
    EXPECT_TRUE(t.SetValue("b", true));
    EXPECT_TRUE(t.SetValue(SQInteger(3), "three"));
    SqObject arr = Global("arr");
    EXPECT_TRUE(t.SetValue("arr", arr));
    EXPECT_EQ(t.Len(), 6);

    EXPECT_EQ(t.GetInt("i"), 7);
    EXPECT_EQ(t.GetFloat("i"), 7.0f);
    EXPECT_EQ(t.GetFloat("f"), 1.5f);
    EXPECT_STREQ(t.GetString("s"), "text");
    EXPECT_TRUE(t.GetBool("b"));
    EXPECT_STREQ(t.GetString(SQInteger(3)), "three");
    EXPECT_EQ(t.GetValue("arr").GetType(), OT_ARRAY);
    EXPECT_TRUE(t.Exists("s"));
    EXPECT_FALSE(t.Exists("nothing"));
    // Absent slots and other types read as the defaults.
    EXPECT_EQ(t.GetInt("nothing"), 0);
    EXPECT_EQ(t.GetFloat("s"), 0.0f);
    EXPECT_EQ(t.GetString("i"), nullptr);
    EXPECT_FALSE(t.GetBool("i"));
    EXPECT_TRUE(t.GetValue("nothing").IsNull());

    // Arrays and instances take existing slots only.
    EXPECT_TRUE(arr.SetValue(SQInteger(1), SQFloat(2.5f)));
    EXPECT_FALSE(arr.SetValue(SQInteger(5), SQInteger(1)));
    EXPECT_TRUE(arr.Exists(SQInteger(1)));
    EXPECT_FALSE(arr.Exists(SQInteger(2)));
    EXPECT_EQ(arr.GetFloat(SQInteger(1)), 2.5f);
    EXPECT_TRUE(arr.ArrayAppend(t));
    EXPECT_EQ(arr.Len(), 3);
    EXPECT_FALSE(t.ArrayAppend(arr));
    SqObject thing = Global("thing");
    EXPECT_TRUE(thing.SetValue("n", SQInteger(4)));
    EXPECT_FALSE(thing.SetValue("m", SQInteger(4)));
    EXPECT_EQ(thing.GetInt("n"), 4);
    EXPECT_TRUE(thing.IsNull() == false && thing.IsNumeric() == false);
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(SqObjectTest, IterationVisitsEveryEntry)
{
    ASSERT_TRUE(Load("values.nut", "t <- {a = 1, b = 2, c = 3}; arr <- [10, 20];\n"));
    const SQInteger top = sq_gettop(v);
    SqObject t = Global("t");
    std::map<std::string, SQInteger> seen;
    SqObject key(v);
    SqObject value(v);
    ASSERT_TRUE(t.BeginIteration());
    while (t.Next(key, value)) {
        sq_pushobject(v, key.GetObjectHandle());
        const SQChar* name = nullptr;
        sq_getstring(v, -1, &name);
        sq_pop(v, 1);
        seen[name] = sq_objtointeger(&value.GetObjectHandle());
    }
    t.EndIteration();
    EXPECT_EQ(seen, (std::map<std::string, SQInteger>{{"a", 1}, {"b", 2}, {"c", 3}}));

    SqObject arr = Global("arr");
    ASSERT_TRUE(arr.BeginIteration());
    SQInteger sum = 0;
    while (arr.Next(key, value))
        sum += sq_objtointeger(&key.GetObjectHandle()) * sq_objtointeger(&value.GetObjectHandle());
    EXPECT_EQ(sum, 20);
    SqObject number(v);
    sq_pushinteger(v, 1);
    number.AttachToStackObject(-1);
    sq_pop(v, 1);
    EXPECT_FALSE(number.BeginIteration());
    EXPECT_FALSE(number.Next(key, value));
    EXPECT_TRUE(number.IsNumeric());
    EXPECT_EQ(sq_gettop(v), top);
}

TEST_F(SqObjectTest, DelegatesInstancePointersAndAttributes)
{
    ASSERT_TRUE(Load("values.nut", "t <- {}; d <- { function hello() { return 1; } };\n"
                                   "class Marked </ role = \"actor\" /> { </ unit = \"m\" /> speed = 0; }\n"
                                   "marked <- Marked();\n"));
    const SQInteger top = sq_gettop(v);
    SqObject t = Global("t");
    SqObject d = Global("d");
    EXPECT_TRUE(t.GetDelegate().IsNull());
    EXPECT_TRUE(t.SetDelegate(d));
    EXPECT_FALSE(t.SetDelegate(Global("marked")));
    EXPECT_EQ(t.GetDelegate().GetType(), OT_TABLE);
    EXPECT_TRUE(t.Exists("hello"));
    EXPECT_TRUE(t.SetDelegate(SqObject(v)));
    EXPECT_FALSE(t.Exists("hello"));

    SqObject cls = Global("Marked");
    EXPECT_STREQ(cls.GetAttributes().GetString("role"), "actor");
    EXPECT_STREQ(cls.GetAttributes("speed").GetString("unit"), "m");
    EXPECT_TRUE(cls.GetAttributes("nothing").IsNull());
    EXPECT_TRUE(t.GetAttributes().IsNull());

    SqObject marked = Global("marked");
    int payload = 0;
    EXPECT_TRUE(marked.SetInstanceUP(&payload));
    EXPECT_EQ(marked.GetInstanceUP(nullptr), &payload);
    EXPECT_FALSE(t.SetInstanceUP(&payload));
    EXPECT_EQ(t.GetInstanceUP(nullptr), nullptr);
    EXPECT_EQ(sq_gettop(v), top);
}

} // namespace
