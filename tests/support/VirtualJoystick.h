#pragma once

#include <SDL.h>

#include <cstdint>

// A game controller that exists only in SDL, driven by the test. The joystick
// service must be open while it lives.
class VirtualJoystick {
public:
    VirtualJoystick(const char* name, int axes, int buttons, int hats)
    {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
        desc.naxes = Uint16(axes);
        desc.nbuttons = Uint16(buttons);
        desc.nhats = Uint16(hats);
        desc.name = name;
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        if (index >= 0)
            handle = SDL_JoystickOpen(index);
    }
    ~VirtualJoystick() { Detach(); }
    VirtualJoystick(const VirtualJoystick&) = delete;
    VirtualJoystick& operator=(const VirtualJoystick&) = delete;

    bool IsAttached() const { return handle != nullptr; }

    // Values take effect at the next poll of the joystick service.
    void SetAxis(int axis, int16_t value) { SDL_JoystickSetVirtualAxis(handle, axis, value); }
    void SetButton(int button, bool down) { SDL_JoystickSetVirtualButton(handle, button, down ? 1 : 0); }
    void SetHat(int hat, uint8_t value) { SDL_JoystickSetVirtualHat(handle, hat, value); }

    void Detach()
    {
        if (handle == nullptr)
            return;
        const SDL_JoystickID id = SDL_JoystickInstanceID(handle);
        SDL_JoystickClose(handle);
        handle = nullptr;
        for (int index = 0; index < SDL_NumJoysticks(); ++index) {
            if (SDL_JoystickGetDeviceInstanceID(index) == id) {
                SDL_JoystickDetachVirtual(index);
                break;
            }
        }
    }

private:
    SDL_Joystick* handle = nullptr;
};
