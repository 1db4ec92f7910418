#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class zMetaFile;
class zMetaTag;

// Reads and writes the ZML text form of a tag tree.
class zMetaParser {
public:
    // Files included inside included files, at most this deep.
    static constexpr int32_t MaxIncludeDepth = 16;
    // Tags nested inside tags, at most this deep (includes counted), so that
    // no input can exhaust the stack.
    static constexpr int32_t MaxTagDepth = 256;
    // What one load may read in all, its includes counted: files read, tags
    // parsed, bytes of text read, and bytes built by "#append" (which may
    // double an earlier string each time). Depth alone does not bound a file
    // that includes the next one several times.
    static constexpr int32_t MaxLoadFiles = 4096;
    static constexpr int32_t MaxLoadTags = 1 << 23;
    static constexpr int32_t MaxLoadBytes = 1 << 30;
    static constexpr int32_t MaxAppendBytes = 1 << 24;

    // Reads a whole file into the document (its previous root tags are
    // destroyed on success). On failure the document is left as it was.
    // includingDocument is the document holding the "#include" that asked for
    // this file, or null.
    static bool Load(const char* fileName, zMetaFile* document, const zMetaFile* includingDocument = nullptr);
    // A new document holding the file, which the caller deletes; null when the
    // file cannot be read or parsed.
    static zMetaFile* LoadNew(const char* fileName);
    // Reads ZML text held in memory; fileName is what messages name and
    // what the document keeps.
    static bool LoadText(const char* text, size_t size, zMetaFile* document, const char* fileName = "",
                         const zMetaFile* includingDocument = nullptr);

    // Parses one tag into an unset tag already linked where it belongs; on
    // success cursor is left after the tag.
    static bool ParseTag(zMetaTag* tag, zMetaFile* document, const char* start, const char* end,
                         const char*& cursor, const zMetaFile* includingDocument);

    // Writes the document to a new file. The text is built whole first, so a
    // document that cannot be written leaves any existing file untouched.
    static bool Save(const char* fileName, const zMetaFile* document);
    // The header line and every root tag, appended to text.
    static bool SaveText(const zMetaFile* document, std::string& text);
    // One tag and its subtree at the given depth, appended to text.
    static bool SaveTag(std::string& text, const zMetaFile* document, const zMetaTag* tag, int32_t depth);

private:
    struct IncludeFrame;
    class TagReader;

    static bool LoadBuffer(const char* text, size_t size, zMetaFile* document, const char* fileName,
                           const zMetaFile* including, const IncludeFrame& frame);
    static bool LoadFile(const char* fileName, zMetaFile* document, const zMetaFile* including,
                         const IncludeFrame& frame);
};
