// Builds archive images: header, data area, and a table block of names, file records and
// directory records, all scrambled with the archive key.
#include "archive_writer.h"

#include <cstdio>
#include <deque>
#include <memory>

#include "core/archive.h"

namespace {

constexpr size_t kMaxNameBytes = 1024;

struct Node {
    std::string name;  // as written
    bool directory = false;
    const ArchiveWriterFile* file = nullptr;
    std::vector<std::unique_ptr<Node>> children;
    uint32_t dirIndex = 0;  // directories: index of their directory record
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (IsLead(static_cast<unsigned char>(c)) && i + 1 < path.size()) {
            current += c;
            current += path[++i];
        } else if (IsSeparator(c)) {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}

std::string UpperName(const std::string& name) {
    std::string upper = name;
    for (size_t i = 0; i < upper.size(); ++i) {
        const auto c = static_cast<unsigned char>(upper[i]);
        if (IsLead(c) && i + 1 < upper.size()) ++i;
        else if (c >= 'a' && c <= 'z') upper[i] = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

// A directory may hold a file and a subdirectory of the same name.
Node* FindChild(Node* parent, const std::string& name, bool directory) {
    const std::string upper = UpperName(name);
    for (auto& child : parent->children)
        if (child->directory == directory && UpperName(child->name) == upper) return child.get();
    return nullptr;
}

class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    void U16(uint32_t value) {
        for (int i = 0; i < 2; ++i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void U32(uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void U64(uint64_t value) {
        for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void Padded(const std::string& text, size_t length) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        bytes_.insert(bytes_.end(), length - text.size(), 0);
    }

private:
    std::vector<uint8_t>& bytes_;
};

bool BuildTree(const std::vector<ArchiveWriterFile>& files, Node* root, std::string* error) {
    root->directory = true;
    for (const ArchiveWriterFile& file : files) {
        const std::vector<std::string> parts = SplitPath(file.path);
        if (parts.empty()) {
            *error = "empty member path";
            return false;
        }
        Node* node = root;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].size() > kMaxNameBytes) {
                *error = "name too long: " + parts[i];
                return false;
            }
            const bool last = i + 1 == parts.size();
            const bool wantDirectory = !last || file.directory;
            Node* child = FindChild(node, parts[i], wantDirectory);
            if (child != nullptr) {
                if (last && !file.directory) {
                    *error = "file given twice: " + file.path;
                    return false;
                }
            } else {
                node->children.push_back(std::make_unique<Node>());
                child = node->children.back().get();
                child->name = parts[i];
                child->directory = wantDirectory;
                if (!wantDirectory) child->file = &file;
            }
            node = child;
        }
    }
    return true;
}

std::vector<uint8_t> PackMember(const ArchiveWriterFile& file, const ArchiveWriterOptions& options,
                                bool* compressed) {
    *compressed = false;
    if (options.version < 2 || options.compression == ArchiveCompression::Store) return file.data;
    LzEncodeOptions lz;
    lz.escapeByte = options.escapeByte;
    std::vector<uint8_t> packed = EncodeArchiveData(file.data.data(), file.data.size(), lz);
    if (options.compression == ArchiveCompression::Always || packed.size() < file.data.size()) {
        *compressed = true;
        return packed;
    }
    return file.data;
}

}  // namespace

bool BuildArchive(const std::vector<ArchiveWriterFile>& files, const ArchiveWriterOptions& options,
                  std::vector<uint8_t>* image, std::string* error) {
    std::string ignored;
    if (error == nullptr) error = &ignored;
    if (options.version < 0 || options.version > 3) {
        *error = "version must be 0 to 3";
        return false;
    }
    Node root;
    if (!BuildTree(files, &root, error)) return false;

    // Directories in breadth-first order: each directory's entries are contiguous file records.
    std::vector<Node*> dirs{&root};
    for (size_t i = 0; i < dirs.size(); ++i) {
        dirs[i]->dirIndex = static_cast<uint32_t>(i);
        for (auto& child : dirs[i]->children)
            if (child->directory) dirs.push_back(child.get());
    }

    std::vector<uint8_t>& out = *image;
    out.assign(kArchiveHeaderSize, 0);
    const uint32_t dataOffset = kArchiveHeaderSize;

    std::vector<uint8_t> names;
    std::vector<uint8_t> fileTable;
    std::vector<uint8_t> dirTable;
    ByteWriter nameWriter(names);
    ByteWriter fileWriter(fileTable);
    ByteWriter dirWriter(dirTable);
    const uint32_t recordSize = GetArchiveFileRecordSize(static_cast<uint32_t>(options.version));

    std::vector<uint32_t> firstEntry(dirs.size());
    std::vector<uint32_t> ownRecord(dirs.size(), kArchiveRootParent);
    std::vector<uint32_t> parentIndex(dirs.size(), kArchiveRootParent);
    for (Node* dir : dirs) {
        firstEntry[dir->dirIndex] = static_cast<uint32_t>(fileTable.size());
        for (auto& child : dir->children) {
            const std::string upper = UpperName(child->name);
            const size_t length4 = child->name.size() / 4 + 1;
            unsigned int sum = 0;
            for (unsigned char c : upper) sum += c;
            const auto nameOffset = static_cast<uint32_t>(names.size());
            nameWriter.U16(static_cast<uint32_t>(length4));
            nameWriter.U16(sum & 0xFFFF);
            nameWriter.Padded(upper, 4 * length4);
            nameWriter.Padded(child->name, 4 * length4);

            uint32_t offset = 0;
            uint32_t size = 0;
            uint32_t packedSize = kArchiveStoredMember;
            uint64_t creation = 0;
            uint64_t lastWrite = 0;
            if (child->directory) {
                offset = child->dirIndex * kArchiveDirRecordSize;
                ownRecord[child->dirIndex] = static_cast<uint32_t>(fileTable.size());
                parentIndex[child->dirIndex] = dir->dirIndex;
            } else {
                const ArchiveWriterFile& file = *child->file;
                bool compressed = false;
                const std::vector<uint8_t> stored = PackMember(file, options, &compressed);
                if (out.size() + stored.size() > UINT32_MAX || file.data.size() > UINT32_MAX) {
                    *error = "archive larger than 4 GB";
                    return false;
                }
                offset = static_cast<uint32_t>(out.size() - dataOffset);
                size = static_cast<uint32_t>(file.data.size());
                if (compressed) packedSize = static_cast<uint32_t>(stored.size());
                out.insert(out.end(), stored.begin(), stored.end());
                creation = file.creationTime;
                lastWrite = file.lastWriteTime;
            }
            fileWriter.U32(nameOffset);
            fileWriter.U32(child->directory ? kArchiveDirectoryAttribute : 0x20);
            fileWriter.U64(creation);
            fileWriter.U64(lastWrite);
            fileWriter.U64(lastWrite);
            fileWriter.U32(offset);
            fileWriter.U32(size);
            if (recordSize == 44) fileWriter.U32(packedSize);
        }
    }
    for (Node* dir : dirs) {
        const uint32_t index = dir->dirIndex;
        dirWriter.U32(ownRecord[index]);
        dirWriter.U32(parentIndex[index] == kArchiveRootParent
                          ? kArchiveRootParent
                          : parentIndex[index] * kArchiveDirRecordSize);
        dirWriter.U32(static_cast<uint32_t>(dir->children.size()));
        dirWriter.U32(firstEntry[index]);
    }

    const uint64_t tableOffset = out.size();
    const uint64_t tableSize = names.size() + fileTable.size() + dirTable.size();
    if (tableOffset + tableSize > UINT32_MAX) {
        *error = "archive larger than 4 GB";
        return false;
    }
    out.insert(out.end(), names.begin(), names.end());
    out.insert(out.end(), fileTable.begin(), fileTable.end());
    out.insert(out.end(), dirTable.begin(), dirTable.end());

    std::vector<uint8_t> header;
    ByteWriter headerWriter(header);
    headerWriter.U16(kArchiveSignature);
    headerWriter.U16(static_cast<uint32_t>(options.version));
    headerWriter.U32(static_cast<uint32_t>(tableSize));
    headerWriter.U32(dataOffset);
    headerWriter.U32(static_cast<uint32_t>(tableOffset));
    headerWriter.U32(static_cast<uint32_t>(names.size()));
    headerWriter.U32(static_cast<uint32_t>(names.size() + fileTable.size()));
    std::copy(header.begin(), header.end(), out.begin());

    unsigned char key[kArchiveKeySize];
    if (options.secondKey) GetArchiveSecondKey(key);
    else MakeArchiveKey(options.keyString, key);
    ScrambleArchiveBytes(out.size(), out.data(), 0, key);
    return true;
}

bool WriteArchive(const std::string& outputPath, const std::vector<ArchiveWriterFile>& files,
                  const ArchiveWriterOptions& options, std::string* error) {
    std::vector<uint8_t> image;
    if (!BuildArchive(files, options, &image, error)) return false;
    FILE* out = std::fopen(outputPath.c_str(), "wb");
    if (out == nullptr) {
        if (error != nullptr) *error = "cannot create " + outputPath;
        return false;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    const bool closed = std::fclose(out) == 0;
    if (!(written && closed) && error != nullptr) *error = "cannot write " + outputPath;
    return written && closed;
}
