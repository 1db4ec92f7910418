// The standard libraries' C functions and closure images through the C API.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sqstdaux.h>
#include <sqstdblob.h>
#include <sqstdio.h>
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <sqstdsystem.h>

#include "vm_fixture.h"
#include "../../source/squirrel/compiler/opcodes.h"

namespace {

class SquirrelStdlib : public SquirrelTest
{
public:
    void SetUp() override
    {
        SquirrelTest::SetUp();
        sq_pushroottable(v);
        sqstd_register_bloblib(v);
        sqstd_register_iolib(v);
        sqstd_register_systemlib(v);
        sqstd_register_mathlib(v);
        sqstd_register_stringlib(v);
        sq_pop(v, 1);
    }

    // Serializes the closure compiled from `src`.
    std::vector<uint8_t> Image(const std::string &src)
    {
        std::vector<uint8_t> out;
        EXPECT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, src.c_str(), static_cast<SQInteger>(src.size()), "img", SQFalse)));
        EXPECT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, WriteVector, &out)));
        sq_pop(v, 1);
        return out;
    }

    static SQInteger WriteVector(SQUserPointer up, SQUserPointer buf, SQInteger size)
    {
        auto *out = static_cast<std::vector<uint8_t> *>(up);
        const uint8_t *p = static_cast<const uint8_t *>(buf);
        out->insert(out->end(), p, p + size);
        return size;
    }

    struct Bytes {
        const std::vector<uint8_t> *data;
        size_t limit;
        size_t pos = 0;
    };
    static SQInteger ReadBytes(SQUserPointer up, SQUserPointer buf, SQInteger size)
    {
        Bytes *b = static_cast<Bytes *>(up);
        size_t n = static_cast<size_t>(size);
        if (n > b->limit - b->pos) n = b->limit - b->pos;
        memcpy(buf, b->data->data() + b->pos, n);
        b->pos += n;
        return static_cast<SQInteger>(n);
    }

    // Loads an image (or its first `limit` bytes); on failure returns the error text.
    bool Load(const std::vector<uint8_t> &image, std::string &error, size_t limit = SIZE_MAX)
    {
        Bytes b{&image, limit < image.size() ? limit : image.size()};
        if (SQ_SUCCEEDED(sq_readclosure(v, ReadBytes, &b))) return true;
        error = LastError();
        return false;
    }
};

} // namespace

TEST_F(SquirrelStdlib, RegistrationLeavesTheStackAsItWas)
{
    EXPECT_EQ(sq_gettop(v), 0);
    ASSERT_TRUE(Run("assert(typeof blob == \"class\" && typeof file == \"class\" && stream != null);"
                    "assert(typeof stdout == \"file\" && typeof format == \"function\" && typeof regexp == \"class\");"
                    "assert(typeof sqrt == \"function\" && typeof date == \"function\");"))
        << LastError();
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sqstd_register_iolib(v)));
    EXPECT_EQ(LastError(), "table expected");
    EXPECT_TRUE(SQ_FAILED(sqstd_register_bloblib(v)));
    EXPECT_EQ(sq_gettop(v), 1);
}

TEST_F(SquirrelStdlib, BlobsCreatedInCAreVisibleToScriptsAndBack)
{
    SQUserPointer data = sqstd_createblob(v, 4);
    ASSERT_NE(data, nullptr);
    memcpy(data, "\x01\x02\x03\x04", 4);
    EXPECT_EQ(sqstd_getblobsize(v, -1), 4);
    sq_pushroottable(v);
    sq_pushstring(v, "b", -1);
    sq_push(v, -3);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 2);
    ASSERT_TRUE(Run("assert(b[0] == 1 && b[3] == 4 && b.len() == 4); b.writen(0x7F7F7F7F, 'i'); ::c <- blob(3);"))
        << LastError();

    sq_pushroottable(v);
    sq_pushstring(v, "c", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    SQUserPointer p = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_getblob(v, -1, &p)));
    EXPECT_EQ(sqstd_getblobsize(v, -1), 3);
    EXPECT_EQ(memcmp(p, "\0\0\0", 3), 0);
    sq_pop(v, 2);

    sq_pushroottable(v);
    sq_pushstring(v, "stdout", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    EXPECT_TRUE(SQ_FAILED(sqstd_getblob(v, -1, &p)));
    EXPECT_EQ(LastError(), "invalid type tag");
    EXPECT_EQ(sqstd_getblobsize(v, -1), -1);
    SQFILE f = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_getfile(v, -1, &f)));
    EXPECT_EQ(f, stdout);
    sq_pop(v, 2);
}

TEST_F(SquirrelStdlib, HostFilesBecomeScriptFiles)
{
    FILE *tmp = tmpfile();
    ASSERT_NE(tmp, nullptr);
    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_createfile(v, tmp, SQTrue))); // the script's file closes it
    SQFILE back = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_getfile(v, -1, &back)));
    EXPECT_EQ(back, tmp);
    sq_pushroottable(v);
    sq_pushstring(v, "f", -1);
    sq_push(v, -3);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 2);
    ASSERT_TRUE(Run("f.writen(42, 'i'); f.seek(0); assert(f.readn('i') == 42 && typeof f == \"file\"); f.close();"))
        << LastError();
    ASSERT_TRUE(Run("try { f.len(); assert(false) } catch (e) { assert(e == \"the stream is invalid\") }"))
        << LastError();
}

TEST_F(SquirrelStdlib, ImagesRoundTripAndRunLikeTheSource)
{
    const std::string src = "function fib(n) { return n < 2 ? n : fib(n - 1) + fib(n - 2) }\n"
                            "class P { x = 1.5; function get() { return x } }\n"
                            "function gen() { yield \"a\"; yield \"b\"; }\n"
                            "local s = \"\"; foreach (x in gen()) s += x;\n"
                            "try { throw \"e\" } catch (e) { s += e }\n"
                            "return fib(15) + \" \" + P().get() + \" \" + s + \" \" + vargv.len();";
    std::vector<uint8_t> image = Image(src);
    ASSERT_GT(image.size(), 2u);
    EXPECT_EQ(image[0], 0xFA);
    EXPECT_EQ(image[1], 0xFA);

    std::string error;
    ASSERT_TRUE(Load(image, error)) << error;
    sq_pushroottable(v);
    sq_pushinteger(v, 7);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 2, SQTrue, SQTrue))) << LastError();
    const SQChar *result = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, -1, &result)));
    EXPECT_STREQ(result, "610 1.5 abe 1");
    sq_pop(v, 2);

    // Writing a loaded image gives back the same bytes.
    ASSERT_TRUE(Load(image, error)) << error;
    std::vector<uint8_t> again;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, WriteVector, &again)));
    EXPECT_EQ(again, image);
    sq_pop(v, 1);
}

// Nested functions are read back as deep as they compile.
TEST_F(SquirrelStdlib, DeeplyNestedFunctionsRoundTrip)
{
    std::string src = "return ";
    for (int i = 0; i < 1200; i++) src += "(function() { return ";
    src += "\"innermost\"";
    for (int i = 0; i < 1200; i++) src += "; })()";
    std::vector<uint8_t> image = Image(src);
    std::string error;
    ASSERT_TRUE(Load(image, error)) << error;
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue))) << LastError();
    const SQChar *result = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, -1, &result)));
    EXPECT_STREQ(result, "innermost");
    sq_pop(v, 2);
}

// An image written before foreach read a local container again at every step still loads
// and keeps the meaning it was compiled with; the same source compiled now re-reads it.
TEST_F(SquirrelStdlib, OlderImagesKeepTheirForeachMeaning)
{
    FILE *f = fopen(TAVRIN_TEST_DATA "/squirrel/foreach_local_v1.cnut", "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> old;
    for (int c; (c = fgetc(f)) != EOF;) old.push_back(static_cast<uint8_t>(c));
    fclose(f);
    const std::string src = "local list = [1, 2], s = \"\";\n"
                            "foreach (v in list) { s += v; list = [7, 8, 9]; }\n"
                            "return s;\n";
    struct Case {
        std::vector<uint8_t> image;
        const char *expect;
    };
    const Case cases[] = {{old, "12"}, {Image(src), "189"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expect);
        std::string error;
        ASSERT_TRUE(Load(c.image, error)) << error;
        sq_pushroottable(v);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue))) << LastError();
        const SQChar *result = nullptr;
        ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, -1, &result)));
        EXPECT_STREQ(result, c.expect);
        sq_pop(v, 2);
    }
}

TEST_F(SquirrelStdlib, DamagedImagesAreRefusedWithoutRunning)
{
    std::vector<uint8_t> image = Image("local t = {a = [1, 2.5, \"s\"]}; foreach (k, v in t) print(k); return t;");
    std::string error;
    for (size_t n = 0; n < image.size(); n++) {
        ASSERT_FALSE(Load(image, error, n)) << "truncated to " << n;
        EXPECT_EQ(error, "io error") << "truncated to " << n;
    }
    EXPECT_EQ(sq_gettop(v), 0);

    struct Case {
        size_t offset;
        uint8_t value;
        const char *error;
    };
    const Case header[] = {
        {0, 0x00, "invalid stream"}, // tag
        {3, 'X', "invalid stream"},  // format name
        {6, 99, "invalid stream"},   // version
        {11, 8, "invalid stream"},   // integer size
    };
    for (const Case &c : header) {
        std::vector<uint8_t> bad = image;
        bad[c.offset] = c.value;
        ASSERT_FALSE(Load(bad, error)) << c.offset;
        EXPECT_EQ(error, c.error) << c.offset;
    }
    std::vector<uint8_t> trailer = image;
    trailer.back() ^= 0xFF;
    ASSERT_FALSE(Load(trailer, error));
    EXPECT_EQ(error, "invalid or corrupted closure stream");

    // Any single damaged byte either still forms a valid image or is refused; the
    // verifier must catch every operand that points outside its function.
    size_t refusedAsCorrupt = 0;
    for (size_t i = 13; i + 4 < image.size(); i++) {
        for (uint8_t x : {uint8_t(0xFF), uint8_t(0x80), uint8_t(0x01)}) {
            std::vector<uint8_t> bad = image;
            bad[i] ^= x;
            if (Load(bad, error)) {
                sq_pop(v, 1);
            } else if (error == "invalid or corrupted closure stream") {
                refusedAsCorrupt++;
            }
        }
    }
    EXPECT_GT(refusedAsCorrupt, 0u);
    EXPECT_EQ(sq_gettop(v), 0);
}

// A damaged image may give foreach's key the container's own register: stepping a
// generator held only there must not free it while it runs.
TEST_F(SquirrelStdlib, ForeachKeyInTheContainerRegisterRunsSafely)
{
    std::vector<uint8_t> image = Image("function gen() { yield 1; yield 2; }\n"
                                       "local g = gen(), r = 0;\n"
                                       "foreach (k, v in g) r++;\n"
                                       "return r;");
    size_t patched = 0;
    for (size_t i = 0; i + 4 <= image.size(); i++) {
        uint32_t w = image[i] | image[i + 1] << 8 | image[i + 2] << 16 | static_cast<uint32_t>(image[i + 3]) << 24;
        if (nut::OpOf(w) != nut::OP_FOREACH || nut::ArgB(w) != 1) continue;
        image[i + 1] = static_cast<uint8_t>(nut::ArgC(w)); // A, the key, becomes the container
        patched++;
    }
    ASSERT_EQ(patched, 1u);
    std::string error;
    ASSERT_TRUE(Load(image, error)) << error;
    sq_pushroottable(v);
    EXPECT_FALSE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    EXPECT_EQ(LastError(), "cannot iterate integer");
    sq_pop(v, 1);
}

TEST_F(SquirrelStdlib, OnlyPlainScriptClosuresCanBeWritten)
{
    std::vector<uint8_t> out;
    struct Case {
        const char *expr;
        const char *error;
    };
    const Case cases[] = {
        {"return {}", "wrong argument type, expected 'function' got 'table'"},
        {"return print", "wrong argument type, expected 'function' got 'function'"},
        {"local x = 1; return function() { return x }", "a closure with free valiables bound it cannot be serialized"},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, c.expr, static_cast<SQInteger>(strlen(c.expr)), "t", SQFalse)));
        sq_pushroottable(v);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)));
        EXPECT_TRUE(SQ_FAILED(sq_writeclosure(v, WriteVector, &out))) << c.expr;
        EXPECT_EQ(LastError(), c.error);
        sq_pop(v, 2);
    }
    // Default parameter values are not free variables: such a closure is written.
    const char *withDefaults = "return function(a = 1) { return a }";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, withDefaults, static_cast<SQInteger>(strlen(withDefaults)), "t", SQFalse)));
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)));
    out.clear();
    EXPECT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, WriteVector, &out)));
    EXPECT_FALSE(out.empty());
    sq_pop(v, 2);
    auto failing = [](SQUserPointer, SQUserPointer, SQInteger) -> SQInteger { return 0; };
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, "return 1", 8, "t", SQFalse)));
    EXPECT_TRUE(SQ_FAILED(sq_writeclosure(v, failing, nullptr)));
    EXPECT_EQ(LastError(), "io error");
    sq_pop(v, 1);
}

TEST_F(SquirrelStdlib, DoFileRunsWithTheEnvironmentOnTopAndReportsCompileErrors)
{
    char path[] = "/tmp/sq_dofile_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE *f = fdopen(fd, "w");
    fputs("return this.k * 2", f);
    fclose(f);

    sq_newtable(v);
    sq_pushstring(v, "k", -1);
    sq_pushinteger(v, 21);
    sq_newslot(v, -3, SQFalse);
    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_dofile(v, path, SQTrue, SQFalse))) << LastError();
    SQInteger r = 0;
    sq_getinteger(v, -1, &r);
    EXPECT_EQ(r, 42);
    EXPECT_EQ(sq_gettop(v), 2);
    sq_settop(v, 0);

    f = fopen(path, "w");
    fputs("local = 1", f);
    fclose(f);
    std::string reported;
    sq_setcompilererrorhandler(v, [](HSQUIRRELVM vm, const SQChar *desc, const SQChar *, SQInteger line, SQInteger) {
        Self(vm)->errors += std::string(desc) + "@" + std::to_string(line);
    });
    EXPECT_TRUE(SQ_FAILED(sqstd_loadfile(v, path, SQFalse)));
    EXPECT_EQ(errors, "");
    EXPECT_TRUE(SQ_FAILED(sqstd_loadfile(v, path, SQTrue)));
    EXPECT_EQ(errors, LastError() + "@1");
    remove(path);
    EXPECT_TRUE(SQ_FAILED(sqstd_loadfile(v, path, SQTrue)));
    EXPECT_EQ(LastError(), "cannot open the file");
    EXPECT_EQ(sq_gettop(v), 0);
}
