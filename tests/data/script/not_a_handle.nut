// A value that is no handle: "Expected typetag, none found.".
function Check() {
    TestNeed(5, EngineTypeItem);
}
Check();
