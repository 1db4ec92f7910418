// ZML documents built, saved, loaded and queried from a script.
function Build() {
    local d = MetafileNew();
    local root = MetafileAddRoot(d, "Root");
    MetatagAddChildWithValue(root, "I", 5);
    MetatagAddChildWithValue(root, "F", 2.5);
    MetatagAddChildWithValue(root, "S", "text");
    MetatagAddChildWithValue(root, "B", true);
    MetatagAddChildWithValue(root, "P", null);
    return d;
}
function Value(d, path) { return MetatagGetValue(MetafileGetTag(d, path)); }

cases <- {
    build_and_query = function() {
        local d = Build();
        local pure = MetafileGetTag(d, "Root:P;");
        return Value(d, "Root:I;") + " " + Value(d, "Root:F;") + " " + Value(d, "Root:S;") + " " + Value(d, "Root:B;") +
               " " + MetatagGetType(pure) + " " + (MetafileGetTag(d, "Root:Missing;") == null ? "handle" : "null");
    },
    value_of_wrong_type = function() {
        local d = MetafileNew();
        local t = MetafileAddRootWithValue(d, "A", [1, 2]);
        return MetatagIsValid(t) ? "tag" : (MetafileGetRoots(d).len() == 0 ? "null" : "added");
    },
    value_of_node = function() {
        local d = Build();
        return MetatagGetValue(MetafileGetTag(d, "Root;"));
    },
    set_bool_on_string = function() {
        local d = Build();
        local s = MetafileGetTag(d, "Root:S;");
        MetatagSetValue(s, true);
        return MetatagGetType(s) + " " + MetatagGetValue(s);
    },
    null_tag = function() {
        local t = TestNullHandle(EngineTypeMetatag);
        return MetatagGetValue(t) + " " + MetatagGetName(t) + " " + MetatagGetType(t);
    },
    set_null_tag = function() { MetatagSetValue(TestNullHandle(EngineTypeMetatag), 1); return "done"; },
    set_unsupported = function() {
        local d = Build();
        MetatagSetValue(MetafileGetTag(d, "Root:I;"), {});
        return "done";
    },
    save_and_load = function() {
        local saved = MetafileSave(Build(), "doc.zml");
        local e = MetafileNew();
        local loaded = MetafileLoad(e, "doc.zml");
        local roots = MetafileGetRoots(e);
        local typed = MetafileGetTypedTag(e, "Root:I;", TagType_Real);
        return saved + " " + loaded + " " + MetatagGetName(roots[0]) + " " + Value(e, "Root:I;") + " " +
               (typed == null || !MetatagIsValid(typed) ? "null" : "tag") + " " +
               MetatagGetType(MetatagGetTypedTag(roots[0], "I;", TagType_Integer));
    },
    failed_load_keeps_tags = function() {
        local d = Build();
        local i = MetafileGetTag(d, "Root:I;");
        local loaded = MetafileLoad(d, "missing.zml");
        return loaded + " " + MetatagIsValid(i) + " " + MetatagGetValue(i);
    },
    reload_makes_tags_stale = function() {
        MetafileSave(Build(), "reload.zml");
        local d = Build();
        local i = MetafileGetTag(d, "Root:I;");
        local loaded = MetafileLoad(d, "reload.zml");
        return loaded + " " + MetatagIsValid(i) + " " + MetatagGetName(i);
    },
    tag_outlives_document = function() {
        local d = Build();
        local i = MetafileGetTag(d, "Root:I;");
        d = null; // the document and its tags go with its handle
        return MetatagIsValid(i) + " " + MetatagGetName(i) + " " + MetatagGetValue(i);
    },
    child_of_integer_refused = function() {
        local d = Build();
        local c = MetatagAddChild(MetafileGetTag(d, "Root:I;"), "Below");
        return MetatagIsValid(c);
    },
    children_in_order = function() {
        local d = MetafileNew();
        local r = MetafileAddRoot(d, "R");
        foreach (n in ["A", "B", "C"]) MetatagAddChild(r, n);
        local names = [];
        foreach (c in MetatagGetChildren(r)) names.append(MetatagGetName(c));
        return names[0] + "," + names[1] + "," + names[2];
    },
    roots_empty_for_null = function() { return MetafileGetRoots(TestNullHandle(EngineTypeMetafile)).len(); },
    shortcuts = function() {
        local d = MetafileNew();
        MetafileLoad(d, "shortcut.zml");
        local names = [];
        foreach (r in MetafileGetRoots(d)) names.append(MetatagGetName(r));
        // Children are listed as they are: a shortcut child stays a shortcut.
        local child = MetatagGetChildren(MetafileGetTag(d, "N;"))[0];
        return names[0] + "," + names[1] + "," + names[2] + " " + MetatagGetName(child) + ":" + MetatagGetType(child) +
               " " + MetatagGetValue(MetafileGetTag(d, "L:Leaf;"));
    },
    type_constants = function() { return TagType_None + " " + TagType_Real + " " + TagType_Shortcut; },
};
