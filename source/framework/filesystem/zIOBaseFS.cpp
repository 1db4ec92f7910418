#include "framework/filesystem/zIOBaseFS.h"

#include <cstring>

zIOBaseFS::~zIOBaseFS()
{
    handles.Clear();
}

zString zIOBaseFS::GetCurrentPath()
{
    return zString();
}

bool zIOBaseFS::SetCurrentPath(const char*)
{
    return false;
}

bool zIOBaseFS::ListDirectory(const char*, ztLinkedList<zString*>&)
{
    return false;
}

bool zIOBaseFS::CloseAll()
{
    for (ztLinkedList<zIOHandle*>::Node* node = handles.GetFirst(); node != nullptr;) {
        ztLinkedList<zIOHandle*>::Node* next = node->next;
        Close(node->value);
        node = next;
    }
    return true;
}

bool zIOBaseFS::OwnsHandle(const zIOHandle* handle) const
{
    for (const ztLinkedList<zIOHandle*>::Node* node = handles.GetFirst(); node != nullptr; node = node->next) {
        if (node->value == handle)
            return true;
    }
    return false;
}

bool zIOBaseFS::AddHandle(zIOHandle* handle)
{
    return handles.Add(handle) != nullptr;
}

bool zIOBaseFS::RemoveHandle(const zIOHandle* handle)
{
    for (ztLinkedList<zIOHandle*>::Node* node = handles.GetFirst(); node != nullptr; node = node->next) {
        if (node->value == handle) {
            delete handles.Remove(node);
            return true;
        }
    }
    return false;
}

bool zIOBaseFS::LocateFile(zString& path)
{
    path.NormalizePath();
    if (zIOHandle* handle = OpenDirect(path.Get(), true, false, false)) {
        Close(handle);
        return true;
    }
    for (const ztLinkedList<zString>::Node* node = GlobalSearchPathList.GetFirst(); node != nullptr; node = node->next) {
        zString candidate(node->value);
        candidate.Append("/");
        if (!path.IsEmpty())
            candidate.Append(path.Get());
        candidate.NormalizePath();
        if (zIOHandle* handle = OpenDirect(candidate.Get(), true, false, false)) {
            Close(handle);
            path = candidate;
            return true;
        }
    }
    return false;
}

zIOHandle* zIOBaseFS::Open(const char* path, bool read, bool write, bool append)
{
    if (zIOHandle* handle = OpenDirect(path, read, write, append))
        return handle;
    zString located(path);
    if (!LocateFile(located))
        return nullptr;
    return OpenDirect(located.Get(), read, write, append);
}

bool StripSearchPath(zString& path)
{
    if (path.IsEmpty())
        return false;
    path.NormalizePath();
    for (const ztLinkedList<zString>::Node* node = GlobalSearchPathList.GetFirst(); node != nullptr; node = node->next) {
        const zString& prefix = node->value;
        const int32_t length = prefix.GetLength();
        if (length > path.GetLength() || std::strncmp(path.Get(), prefix.Get() ? prefix.Get() : "", size_t(length)) != 0)
            continue;
        // "data" must not strip "database/x": the prefix has to end a path component.
        const char after = path.Get()[length];
        if (after != '\0' && after != '/' && (length == 0 || prefix.Get()[length - 1] != '/'))
            continue;
        path = zString(path.Get() + length);
        return true;
    }
    return false;
}
