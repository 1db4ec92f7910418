// The clock settings of the engine family, read back from the core's globals.
local engine = TestEngine();
local rows = [
    ["scale 0.5", @() EngineSetClockScale(engine, 0.5)],
    ["read back", @() EngineGetClockScale(engine)],
    ["scale 0.0004 stops the clock", @() EngineSetClockScale(engine, 0.0004)],
    ["read back", @() EngineGetClockScale(engine)],
    ["scale 2", @() EngineSetClockScale(engine, 2.0)],
    ["fixed delta of a 60th", @() EngineSetFixedDeltaFrame(engine, 0.0166)],
    ["correction 60 Hz", @() EngineSetFixedFramerateCorrection(engine, 60)],
    ["a negative delta turns the step off", @() EngineSetFixedDeltaFrame(engine, -1.0)],
    ["auto setup off", @() EngineSetResourceAutoSetup(engine, false)],
    ["tool mode", @() EngineGetToolMode(engine)],
    ["renderer handle", @() ObjectIsValid(EngineGetRenderer(engine))],
    ["null engine: clock scale", @() EngineGetClockScale(TestNullHandle(EngineTypeEngine))],
    ["null engine: scale ignored", @() EngineSetClockScale(TestNullHandle(EngineTypeEngine), 9.0)],
];
foreach (row in rows) {
    local call = row[1];
    local result = call();
    print(row[0] + ": " + (result == null ? "-" : result) + " | " + TestClockGlobals());
}
