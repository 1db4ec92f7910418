#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Game controllers in the shape the input devices were written for: found by
// enumeration, opened by a 16-byte instance identifier, read into the 80-byte
// standard joystick state, with one constant-force effect. Needs
// PlatformInputInitialize.

// The standard joystick state, byte for byte. Axes and sliders run from 0 to
// 65535 (centre 32768); a point-of-view hat holds hundredths of a degree
// clockwise from up, 0xFFFFFFFF when centred or absent; a button byte is 0x80
// when held, else 0. Absent axes and buttons read 0.
struct PlatformJoystickState {
    int32_t x;
    int32_t y;
    int32_t z;
    int32_t rotationX;
    int32_t rotationY;
    int32_t rotationZ;
    int32_t sliders[2];
    uint32_t pointOfView[4];
    uint8_t buttons[32];
};
static_assert(sizeof(PlatformJoystickState) == 80, "the standard joystick state is 80 bytes");

struct PlatformJoystickInfo {
    std::string name;
    bool forceFeedback = false;
    // Unique for the device while it stays attached: its session instance
    // number (little-endian) followed by the first 12 bytes of its product
    // identifier.
    uint8_t instance[16] = {};
};

// Appends the attached controllers in their system order; false when the
// joystick service is not initialised.
bool PlatformEnumerateJoysticks(std::vector<PlatformJoystickInfo>& list);

class PlatformJoystick;

// Null when no attached controller has the identifier. The caller owns the
// controller and closes it with PlatformCloseJoystick. Main thread only, as
// every function here.
PlatformJoystick* PlatformOpenJoystick(const uint8_t instance[16]);
// Stops its effect and releases it; null is ignored.
void PlatformCloseJoystick(PlatformJoystick* joystick);
// Lets go of the devices of every open controller: closing the service
// invalidates them. The controllers stay to be closed, reading nothing.
void PlatformReleaseJoysticks();

// False for null or a controller without a force-feedback device.
bool PlatformJoystickHasForceFeedback(const PlatformJoystick* joystick);
// Turns the self-centring spring off (true when the device has none); false
// without force feedback or when the device refuses.
bool PlatformJoystickDisableAutoCenter(PlatformJoystick* joystick);
// Creates the constant force along X with magnitude 0 and infinite length;
// false without force feedback or when the device cannot play it.
bool PlatformJoystickCreateConstantForce(PlatformJoystick* joystick);
// Starts the created effect; false without one or when the device refuses.
bool PlatformJoystickStartConstantForce(PlatformJoystick* joystick);
// Magnitude from -10000 to 10000 (clamped); updates the running effect and
// restarts it. False without an effect.
bool PlatformJoystickSetConstantForce(PlatformJoystick* joystick, int32_t magnitude);

// Polls the controller and reads its state; false (state untouched) once it
// has been detached.
bool PlatformReadJoystick(PlatformJoystick* joystick, PlatformJoystickState& state);
