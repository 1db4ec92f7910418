#include "ui/zUIEvents.h"

bool zUIEventHandlers::SetHandler(int32_t event, std::shared_ptr<zUIEventHandler> handler)
{
    if (!IsValidEvent(event))
        return false;
    handlers[event] = std::move(handler);
    return true;
}

bool zUIEventHandlers::Call(int32_t event, const zUIEventArgs& args) const
{
    if (!IsValidEvent(event) || handlers[event] == nullptr)
        return false;
    // Held here, so a handler that replaces itself finishes its call.
    const std::shared_ptr<zUIEventHandler> handler = handlers[event];
    handler->Call(event, args);
    return true;
}

void zUIEventHandlers::Clear()
{
    for (auto& handler : handlers)
        handler.reset();
}
