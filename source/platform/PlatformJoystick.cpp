#include "platform/PlatformJoystick.h"

#include "platform/PlatformInput.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

class PlatformJoystick {
public:
    SDL_Joystick* joystick = nullptr;
    SDL_Haptic* haptic = nullptr;
    int effect = -1;
    SDL_HapticEffect effectData{};
};

namespace {

// Open controllers, so that closing the service can let go of them.
std::vector<PlatformJoystick*> OpenJoysticks;

constexpr uint32_t PointOfViewCentred = 0xFFFFFFFFu;

void MakeInstance(int deviceIndex, uint8_t instance[16])
{
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    const SDL_JoystickGUID product = SDL_JoystickGetDeviceGUID(deviceIndex);
    const uint32_t number = uint32_t(id);
    for (int i = 0; i < 4; ++i)
        instance[i] = uint8_t(number >> (8 * i));
    std::memcpy(instance + 4, product.data, 12);
}

bool IsUsable()
{
    return PlatformInputIsInitialized() && SDL_WasInit(SDL_INIT_JOYSTICK) != 0;
}

bool HasHaptics()
{
    return SDL_WasInit(SDL_INIT_HAPTIC) != 0;
}

// SDL axes run from -32768 to 32767.
int32_t AxisValue(SDL_Joystick* joystick, int axis, int axisCount)
{
    if (axis >= axisCount)
        return 0;
    return int32_t(SDL_JoystickGetAxis(joystick, axis)) + 32768;
}

uint32_t PointOfView(Uint8 hat)
{
    switch (hat) {
    case SDL_HAT_UP:
        return 0;
    case SDL_HAT_RIGHTUP:
        return 4500;
    case SDL_HAT_RIGHT:
        return 9000;
    case SDL_HAT_RIGHTDOWN:
        return 13500;
    case SDL_HAT_DOWN:
        return 18000;
    case SDL_HAT_LEFTDOWN:
        return 22500;
    case SDL_HAT_LEFT:
        return 27000;
    case SDL_HAT_LEFTUP:
        return 31500;
    default:
        return PointOfViewCentred;
    }
}

} // namespace

bool PlatformEnumerateJoysticks(std::vector<PlatformJoystickInfo>& list)
{
    if (!IsUsable())
        return false;
    // Notices controllers attached or removed since the last look.
    SDL_JoystickUpdate();
    const int count = SDL_NumJoysticks();
    for (int index = 0; index < count; ++index) {
        PlatformJoystickInfo info;
        const char* name = SDL_JoystickNameForIndex(index);
        info.name = name != nullptr ? name : "";
        MakeInstance(index, info.instance);
        if (HasHaptics()) {
            SDL_Joystick* joystick = SDL_JoystickOpen(index);
            if (joystick != nullptr) {
                info.forceFeedback = SDL_JoystickIsHaptic(joystick) == SDL_TRUE;
                SDL_JoystickClose(joystick);
            }
        }
        list.push_back(info);
    }
    return true;
}

PlatformJoystick* PlatformOpenJoystick(const uint8_t instance[16])
{
    if (!IsUsable() || instance == nullptr)
        return nullptr;
    SDL_JoystickUpdate();
    const int count = SDL_NumJoysticks();
    for (int index = 0; index < count; ++index) {
        uint8_t candidate[16];
        MakeInstance(index, candidate);
        if (std::memcmp(candidate, instance, sizeof candidate) != 0)
            continue;
        SDL_Joystick* joystick = SDL_JoystickOpen(index);
        if (joystick == nullptr)
            return nullptr;
        PlatformJoystick* opened = new PlatformJoystick;
        opened->joystick = joystick;
        if (HasHaptics() && SDL_JoystickIsHaptic(joystick) == SDL_TRUE)
            opened->haptic = SDL_HapticOpenFromJoystick(joystick);
        OpenJoysticks.push_back(opened);
        return opened;
    }
    return nullptr;
}

static void PlatformReleaseJoystick(PlatformJoystick* joystick)
{
    if (joystick->haptic != nullptr) {
        if (joystick->effect >= 0) {
            SDL_HapticStopEffect(joystick->haptic, joystick->effect);
            SDL_HapticDestroyEffect(joystick->haptic, joystick->effect);
        }
        SDL_HapticClose(joystick->haptic);
        joystick->haptic = nullptr;
        joystick->effect = -1;
    }
    if (joystick->joystick != nullptr) {
        SDL_JoystickClose(joystick->joystick);
        joystick->joystick = nullptr;
    }
}

void PlatformReleaseJoysticks()
{
    for (PlatformJoystick* joystick : OpenJoysticks)
        PlatformReleaseJoystick(joystick);
}

void PlatformCloseJoystick(PlatformJoystick* joystick)
{
    if (joystick == nullptr)
        return;
    PlatformReleaseJoystick(joystick);
    OpenJoysticks.erase(std::remove(OpenJoysticks.begin(), OpenJoysticks.end(), joystick), OpenJoysticks.end());
    delete joystick;
}

bool PlatformJoystickHasForceFeedback(const PlatformJoystick* joystick)
{
    return joystick != nullptr && joystick->haptic != nullptr;
}

bool PlatformJoystickDisableAutoCenter(PlatformJoystick* joystick)
{
    if (!PlatformJoystickHasForceFeedback(joystick))
        return false;
    // A device without a self-centring spring has none to turn off.
    if ((SDL_HapticQuery(joystick->haptic) & SDL_HAPTIC_AUTOCENTER) == 0)
        return true;
    return SDL_HapticSetAutocenter(joystick->haptic, 0) == 0;
}

bool PlatformJoystickCreateConstantForce(PlatformJoystick* joystick)
{
    if (!PlatformJoystickHasForceFeedback(joystick) || joystick->effect >= 0)
        return false;
    if ((SDL_HapticQuery(joystick->haptic) & SDL_HAPTIC_CONSTANT) == 0)
        return false;
    SDL_HapticEffect& data = joystick->effectData;
    data = SDL_HapticEffect{};
    data.type = SDL_HAPTIC_CONSTANT;
    data.constant.type = SDL_HAPTIC_CONSTANT;
    data.constant.direction.type = SDL_HAPTIC_CARTESIAN;
    data.constant.direction.dir[0] = 1;
    data.constant.length = SDL_HAPTIC_INFINITY;
    data.constant.delay = 0;
    data.constant.button = 0;
    data.constant.level = 0;
    joystick->effect = SDL_HapticNewEffect(joystick->haptic, &data);
    return joystick->effect >= 0;
}

bool PlatformJoystickStartConstantForce(PlatformJoystick* joystick)
{
    if (joystick == nullptr || joystick->haptic == nullptr || joystick->effect < 0)
        return false;
    return SDL_HapticRunEffect(joystick->haptic, joystick->effect, 1) == 0;
}

bool PlatformJoystickSetConstantForce(PlatformJoystick* joystick, int32_t magnitude)
{
    if (joystick == nullptr || joystick->haptic == nullptr || joystick->effect < 0)
        return false;
    if (magnitude > 10000)
        magnitude = 10000;
    else if (magnitude < -10000)
        magnitude = -10000;
    joystick->effectData.constant.level = Sint16(magnitude * 32767 / 10000);
    if (SDL_HapticUpdateEffect(joystick->haptic, joystick->effect, &joystick->effectData) != 0)
        return false;
    return SDL_HapticRunEffect(joystick->haptic, joystick->effect, 1) == 0;
}

bool PlatformReadJoystick(PlatformJoystick* joystick, PlatformJoystickState& state)
{
    if (joystick == nullptr || joystick->joystick == nullptr || !IsUsable())
        return false;
    SDL_JoystickUpdate();
    SDL_Joystick* device = joystick->joystick;
    if (SDL_JoystickGetAttached(device) != SDL_TRUE)
        return false;

    PlatformJoystickState read{};
    // Axes come in the order X, Y, Z, X/Y/Z rotation, then the sliders.
    const int axes = SDL_JoystickNumAxes(device);
    read.x = AxisValue(device, 0, axes);
    read.y = AxisValue(device, 1, axes);
    read.z = AxisValue(device, 2, axes);
    read.rotationX = AxisValue(device, 3, axes);
    read.rotationY = AxisValue(device, 4, axes);
    read.rotationZ = AxisValue(device, 5, axes);
    read.sliders[0] = AxisValue(device, 6, axes);
    read.sliders[1] = AxisValue(device, 7, axes);

    const int hats = SDL_JoystickNumHats(device);
    for (int hat = 0; hat < 4; ++hat)
        read.pointOfView[hat] = hat < hats ? PointOfView(SDL_JoystickGetHat(device, hat)) : PointOfViewCentred;

    const int buttons = SDL_JoystickNumButtons(device);
    for (int button = 0; button < 32 && button < buttons; ++button)
        read.buttons[button] = SDL_JoystickGetButton(device, button) != 0 ? 0x80 : 0;

    state = read;
    return true;
}
