// Regular expressions: what each construct matches, where, and the groups it captures.
local function show(pattern, subject) {
    local r = regexp(pattern)
    local c = r.capture(subject)
    local out = pattern + " on '" + subject + "':"
    if (c == null) {
        out += " none"
    } else {
        foreach (m in c) out += " [" + m.begin + "," + m.end + ")"
    }
    print(out + " match=" + r.match(subject) + " groups=" + r.subexpcount() + "\n")
}
foreach (c in [
    ["abc", "xxabcxx"], ["a.c", "a-c"], ["a|bc|d", "xxbc"], ["(a|ab)(c|bcd)", "abcd"],
    // anchors
    ["^abc$", "abc"], ["abc$", "xabc"], ["^b", "ab"], ["a^b", "a^b"], ["x$|y", "xy"],
    // repeats stop as soon as what follows can match
    ["a*b*", "aaab"], ["a*ab", "aab"], [".*o", "hello world"], [".*", "hello"], ["x?y", "y"],
    ["(a+)(b*)c", "xaabbc"], ["(?:ab)+", "ababx"], ["\\d{2,3}", "12345"], ["\\d{2}", "1"], ["\\d{2,}", "1234x"],
    ["a{0}b", "ab"], ["(ab)*c", "ababc"], ["(a*)*b", "aab"],
    // classes
    ["[0-9]+\\.[0-9]*", "pi=3.14!"], ["[^a-z]+", "abcDEFghi"], ["[\\d_]+", "a1_2b"], ["[a\\-z]+", "a-z"],
    ["[-a]+", "-a-"], ["[\\t ]+", "a \t b"], ["[a-c\\d]+", "xab1c"], ["[\\n-\\r]+", "a\n\r"],
    ["\\w+@\\w+\\.com", "mail: joe@site.com"], ["(\\s*)(\\S+)", "   word"], ["\\a+\\A", "abc1"],
    ["\\x+\\X", "beef!"], ["\\p\\P", ".a"], ["\\l+\\u", "abC"], ["\\c", "a\tb"], ["\\C+", "ab\t"],
    ["\\t\\n\\r\\f\\v", "\t\n\r\f\v"], ["\\.\\*\\\\", ".*\\"],
    // word boundaries and balanced runs
    ["\\bfoo\\b", "a foo b"], ["\\bfoo\\b", "afoo"], ["\\Bb", "abc"], ["\\mab", "x a a b b y"], ["\\m()", "f((1)(2))"],
    ["\\m()", "f((1)"],
    // groups that take no part report {0, 0}
    ["(a)|(b)", "b"], ["(x)?y", "y"], ["c(a)x|b", "cab"],
    // captures are taken in pattern order: a repeat's look-ahead that tried the next group
    // uses up its turn, and a repeated group keeps its first round
    ["a+(c)", "aac"], ["a+(c)", "ac"], ["(ab)+", "abab"], ["(a|b)+(c)", "abc"], ["((a)b)(c)", "abc"],
    // a group that matches gives back the turns that look-aheads inside it used up, so the
    // group after it captures; a repeated group's inner group takes each round again
    ["(\\d+)(!)", "code 42!"], ["(\\w+)(\\s)", "one two"], ["(\\d+)(\\p)", "x 12."], ["([a-z]+)-(\\d+)(\\p)", "id abc-12!"],
    ["([0-9]+)(x)", "a 123x"], ["(a+)(b)", "aab"], ["(?:\\d+)(!)", "42!"], ["((\\d+))(!)", "42!"], ["((a)b)+", "abab"],
    ["(\\d+)(!)|(\\d+)(\\?)", "42?"], ["(a+(b))(c)", "aabc"], ["(x(a+))(a)", "xaaa"],
    // where an element is expected any printable character is literal
    ["*a", "x*a"], ["{", "a{"], [")", "a)"], ["a{2}{3}", "aa{3}"], ["a??", "a?"], ["a||b", "x|b"], ["x{65535}", "xxx"],
    // \b goes by whitespace, one character early
    ["\\bcat\\b", "concat cat"], ["a\\b", "ab c"], ["\\b", " x"], ["x\\b", "x"], ["\\B", "ab"],
    // a repeat stops where the element after its group matches
    ["(a+)(b*)c", "aabc"],
]) show(c[0], c[1])

local r = regexp("o")
local s = "foo boo"
foreach (start in [0, 2, 3, 6, 7, 8, -1]) {
    local m = r.search(s, start)
    print(start + ": " + (m == null ? "null" : m.begin + "-" + m.end) + "\n")
}
print(regexp("x*").search("") + " " + regexp("^$").match("") + " " + typeof r + " " + r.subexpcount() + "\n")
local words = [], at = 0, w = regexp("\\w+")
for (local m = w.search("one, two;three", at); m != null; m = w.search("one, two;three", m.end))
    words.append("one, two;three".slice(m.begin, m.end))
print(words.len() + ": " + words[0] + " " + words[1] + " " + words[2] + "\n")

foreach (p in ["[]a]", "(", "(a", "a)", "[", "[a", "[a-", "[b-a]", "[]", "[^]", "a{", "a{x}", "a{1,x}", "a{1", "a{99999}",
               "*a", "+", "?", "{1}", "\\", "\\m", "\\ma", "\\mxx", "[\\w-z]", "[a-\\d]", "{", ")", "a{2}{3}",
               "a??", "()", "(a|)", "(?:)", "(?x)", "a|", "^", "", "[a-]", "[abc", "a**", "a+*", "a{1234567890}", "a{2555555555}", "a{1,99999999999}",
               "a\tb", "caf\xe9", "[\\m()]", "((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((a))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))"]) {
    try {
        regexp(p)
        print(p + " compiles\n")
    } catch (e) {
        print(p + " -> " + e + "\n")
    }
}
foreach (i, fn in [@() regexp(), @() regexp(1), @() r.search(1), @() r.match(), @() r.capture("a", "b"),
                   @() regexp.match.call({}, "a")]) {
    try {
        fn()
        print(i + ": no error\n")
    } catch (e) {
        print(i + ": " + e + "\n")
    }
}
