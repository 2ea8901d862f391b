// The archive reader on its own: versions and keys, lookups and searches, in memory and
// streamed, and damaged or hostile archives.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/lz.h"
#include "log_capture.h"
#include "test_archive_support.h"

namespace {

using archive_test::Bytes;
using archive_test::BuildImage;
using archive_test::ReadMember;
using archive_test::SampleFiles;

const char* const kFileMembers[] = {"A.bmp", "text.txt", "Sub\\Deep\\image.png", "Sub/b.dat",
                                    "Twin", "Twin\\inner.bin", "\x95\x5C.bin", "empty.bin"};

// The files this process holds open.
size_t OpenDescriptors() {
    auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<size_t>(std::distance(begin(entries), end(entries)));
}

const Bytes& MemberData(const std::vector<ArchiveWriterFile>& files, int index) {
    return files[static_cast<size_t>(index)].data;
}

void ExpectEveryMember(ArchiveRecord* record, const std::vector<ArchiveWriterFile>& files, int async) {
    for (int i = 0; i < 8; ++i) {
        Bytes got;
        ASSERT_TRUE(ReadMember(record, kFileMembers[i], &got, async)) << kFileMembers[i];
        EXPECT_EQ(got, MemberData(files, i)) << kFileMembers[i];
    }
    Bytes got;
    EXPECT_FALSE(ReadMember(record, "missing.bin", &got));
    EXPECT_FALSE(ReadMember(record, "Sub", &got)) << "a directory is no member";
}

TEST(ArchiveReader, ReadsEveryVersionUnderEveryKey) {
    const std::vector<ArchiveWriterFile> files = SampleFiles();
    const std::string folder = file_test::MakeScratchFolder("archive_versions");
    struct Case {
        int version;
        bool secondKey;
        const char* keyString;
        ArchiveCompression compression;
    };
    const Case cases[] = {
        {0, false, nullptr, ArchiveCompression::WhenSmaller},
        {1, true, nullptr, ArchiveCompression::Always},
        {2, false, nullptr, ArchiveCompression::WhenSmaller},
        {2, true, nullptr, ArchiveCompression::Always},
        {3, false, "a key of more than twelve bytes", ArchiveCompression::Always},
        {3, false, "k", ArchiveCompression::Store},
    };
    int number = 0;
    size_t descriptors = 0;  // open once the first streamed archive closed (the name watch among them)
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << " second key " << c.secondKey);
        ArchiveWriterOptions options;
        options.version = c.version;
        options.secondKey = c.secondKey;
        options.keyString = c.keyString;
        options.compression = c.compression;
        const Bytes image = BuildImage(files, options);
        ASSERT_FALSE(image.empty());
        const Bytes original = image;

        ArchiveRecord record;
        InitArchiveRecord(&record);
        ASSERT_EQ(OpenArchiveFromImage(&record, image.data(), image.size(), c.keyString), 0);
        EXPECT_EQ(image, original) << "the caller's image is not unscrambled in place";
        EXPECT_EQ(record.header.version, c.version);
        ExpectEveryMember(&record, files, 0);
        TermArchiveRecord(&record);

        const std::string path = folder + "/" + std::to_string(number++) + ".VKA";
        file_test::WriteBytes(path, image);
        for (int async = 0; async < 2; ++async) {
            InitArchiveRecord(&record);
            ASSERT_EQ(OpenArchiveStreamed(&record, path.c_str(), c.keyString), 0);
            ExpectEveryMember(&record, files, async);
            EXPECT_EQ(CloseArchive(&record), 0);
            if (descriptors == 0) descriptors = OpenDescriptors();
            EXPECT_EQ(OpenDescriptors(), descriptors) << "a closed archive left a file open";
        }
        InitArchiveRecord(&record);
        ASSERT_EQ(OpenArchiveWhole(&record, path.c_str(), c.keyString, 1), 0);
        while (CheckArchiveLoaded(&record) == 0) {
        }
        ExpectEveryMember(&record, files, 0);
        EXPECT_EQ(CloseArchive(&record), 0);
    }
    // Version 1 file records are 40 bytes and hold no compressed member.
    ArchiveWriterOptions old;
    old.version = 1;
    old.compression = ArchiveCompression::Always;
    Bytes image = BuildImage(files, old);
    archive_test::ToggleScramble(image);
    const uint32_t tableOffset = archive_test::Get32(image, 12);
    const uint32_t fileTable = tableOffset + archive_test::Get32(image, 16);
    const uint32_t dirTable = tableOffset + archive_test::Get32(image, 20);
    const uint32_t rootCount = archive_test::Get32(image, dirTable + 8);
    EXPECT_GE(dirTable - fileTable, rootCount * 40u);
    // The wrong key string fails on both keys and leaves the record closed.
    const Bytes keyed = BuildImage(files, {3, ArchiveCompression::Store, "right", false, -1});
    ArchiveRecord record;
    InitArchiveRecord(&record);
    EXPECT_EQ(OpenArchiveFromImage(&record, keyed.data(), keyed.size(), "wrong"), -1);
    EXPECT_EQ(record.open, 0);
}

TEST(ArchiveReader, LooksUpNamesAndDirectories) {
    const std::vector<ArchiveWriterFile> files = SampleFiles();
    const Bytes image = BuildImage(files);
    ArchiveRecord record;
    InitArchiveRecord(&record);
    ASSERT_EQ(OpenArchiveFromImage(&record, image.data(), image.size(), nullptr), 0);
    ArchiveEntry entry;
    // Without regard to case, with either separator.
    EXPECT_EQ(FindArchiveEntry("a.BMP", &record, &entry), 0);
    EXPECT_EQ(entry.size, 5000u);
    EXPECT_EQ(FindArchiveEntry("sub/DEEP\\Image.PNG", &record, &entry), 0);
    // A file and a directory of one name: the file path finds the file, the walk the directory.
    EXPECT_EQ(FindArchiveEntry("twin", &record, &entry), 0);
    EXPECT_EQ(entry.size, 77u);
    EXPECT_EQ(FindArchiveEntry("twin\\inner.bin", &record, &entry), 0);
    EXPECT_EQ(entry.size, 33u);
    // Paths that name directories, or walk through a file, find nothing.
    EXPECT_EQ(FindArchiveEntry("Sub\\Deep", &record, &entry), -1);
    EXPECT_EQ(FindArchiveEntry("Sub\\", &record, &entry), -1);
    EXPECT_EQ(FindArchiveEntry("A.bmp\\x", &record, &entry), -1);
    EXPECT_EQ(FindArchiveEntry("Sub\\Deep\\image.png\\", &record, &entry), -1);
    EXPECT_EQ(FindArchiveEntry("\\A.bmp", &record, &entry), 0) << "a leading separator is the root";
    // A two-byte character whose second byte is '\' is one name, not a separator.
    EXPECT_EQ(FindArchiveEntry("\x95\x5C.bin", &record, &entry), 0);
    EXPECT_EQ(entry.size, 12u);

    ArchiveName failing;
    EXPECT_EQ(ChangeArchiveDir(&record, "sub\\deep", 0, nullptr), 0);
    EXPECT_EQ(FindArchiveEntry("IMAGE.PNG", &record, &entry), 0);
    EXPECT_EQ(ChangeArchiveDir(&record, "..", 0, nullptr), 0);
    EXPECT_EQ(FindArchiveEntry("B.DAT", &record, &entry), 0);
    EXPECT_EQ(ChangeArchiveDir(&record, ".", 0, nullptr), 0);
    EXPECT_EQ(FindArchiveEntry("B.DAT", &record, &entry), 0);
    // Failure with restore goes back; without restore it stays where the walk stopped.
    EXPECT_EQ(ChangeArchiveDir(&record, "Deep\\Nowhere", 1, &failing), -1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(failing.upper)), "NOWHERE");
    EXPECT_EQ(FindArchiveEntry("B.DAT", &record, &entry), 0);
    EXPECT_EQ(ChangeArchiveDir(&record, "Deep\\Nowhere", 0, nullptr), -1);
    EXPECT_EQ(FindArchiveEntry("IMAGE.PNG", &record, &entry), 0);
    EXPECT_EQ(ChangeArchiveDir(&record, "/", 0, nullptr), 0);
    EXPECT_EQ(ChangeArchiveDir(&record, "..", 0, nullptr), -1) << "no parent above the root";
    EXPECT_EQ(ChangeArchiveDir(&record, "Twin", 0, nullptr), 0);
    EXPECT_EQ(FindArchiveEntry("INNER.BIN", &record, &entry), 0);
    EXPECT_EQ(ChangeArchiveDir(&record, "\\Hollow", 0, nullptr), 0);
    EXPECT_EQ(ChangeArchiveDir(&record, "\\A.bmp", 0, nullptr), -1) << "a file is no directory";

    uint32_t offset = 0;
    uint32_t size = 0;
    EXPECT_EQ(GetArchiveMemberLocation(&record, "\\A.BMP", &offset, &size), 0);
    EXPECT_EQ(size, 5000u);
    EXPECT_EQ(std::memcmp(GetArchiveImage(&record) + offset, files[0].data.data(), size), 0);
    TermArchiveRecord(&record);
}

std::vector<std::string> Search(ArchiveRecord* record, const char* pattern,
                                std::vector<FindRecord>* found = nullptr) {
    std::vector<std::string> names;
    FindRecord entry;
    ArchiveSearch* search = FindFirstArchiveMember(record, pattern, &entry);
    if (search == nullptr) return names;
    do {
        names.push_back(entry.name);
        if (found != nullptr) found->push_back(entry);
    } while (FindNextArchiveMember(search, &entry) == 0);
    FindCloseArchiveMember(search);
    return names;
}

TEST(ArchiveReader, SearchesListDotsThenEntriesAsWritten) {
    const Bytes image = BuildImage(SampleFiles());
    ArchiveRecord record;
    InitArchiveRecord(&record);
    ASSERT_EQ(OpenArchiveFromImage(&record, image.data(), image.size(), nullptr), 0);
    std::vector<FindRecord> found;
    const std::vector<std::string> root = Search(&record, "*", &found);
    EXPECT_EQ(root, (std::vector<std::string>{".", "A.bmp", "text.txt", "Sub", "Twin", "Twin",
                                               "\x95\x5C.bin", "empty.bin", "Hollow"}));
    EXPECT_EQ(found[0].directoryFlag, 1u);
    EXPECT_EQ(found[1].sizeLow, 5000u);
    EXPECT_EQ(found[1].directoryFlag, 0u);
    EXPECT_EQ(found[3].directoryFlag, 1u);
    EXPECT_NE(found[1].lastWriteTime.year, 0u);
    EXPECT_EQ(Search(&record, "sub\\*"), (std::vector<std::string>{".", "..", "Deep", "b.dat"}));
    EXPECT_EQ(Search(&record, "SUB\\DEEP\\*.PNG"), (std::vector<std::string>{"image.png"}));
    EXPECT_EQ(Search(&record, "*.b?n"), (std::vector<std::string>{"\x95\x5C.bin", "empty.bin"}));
    EXPECT_EQ(Search(&record, "Hollow\\*"), (std::vector<std::string>{".", ".."}));
    EXPECT_TRUE(Search(&record, "*.none").empty());
    EXPECT_TRUE(Search(&record, "Nowhere\\*").empty());
    TermArchiveRecord(&record);
}

// Opens an unscrambled image after scrambling it; reads every member it can find.
void ExerciseDamaged(Bytes plain) {
    archive_test::ToggleScramble(plain);
    ArchiveRecord record;
    InitArchiveRecord(&record);
    if (OpenArchiveFromImage(&record, plain.data(), plain.size(), nullptr) != 0) return;
    for (const char* path : kFileMembers) {
        Bytes got;
        ReadMember(&record, path, &got);
    }
    Search(&record, "*");
    Search(&record, "Sub\\Deep\\*");
    TermArchiveRecord(&record);
}

TEST(ArchiveReader, DamagedArchivesFailCleanly) {
    Bytes plain = BuildImage(SampleFiles(), {2, ArchiveCompression::WhenSmaller, nullptr, false, -1});
    archive_test::ToggleScramble(plain);
    const uint32_t tableSize = archive_test::Get32(plain, 4);
    const uint32_t tableOffset = archive_test::Get32(plain, 12);
    const uint32_t fileTable = tableOffset + archive_test::Get32(plain, 16);
    const uint32_t dirTable = tableOffset + archive_test::Get32(plain, 20);

    auto opens = [](Bytes image) {
        archive_test::ToggleScramble(image);
        ArchiveRecord record;
        InitArchiveRecord(&record);
        const int result = OpenArchiveFromImage(&record, image.data(), image.size(), nullptr);
        TermArchiveRecord(&record);
        return result == 0;
    };
    auto withField = [&](size_t offset, uint32_t value) {
        Bytes copy = plain;
        archive_test::Put32(copy, offset, value);
        return copy;
    };
    EXPECT_TRUE(opens(plain));
    EXPECT_FALSE(opens(withField(0, 0x00044B56))) << "version 4";
    EXPECT_FALSE(opens(withField(4, tableSize + 1))) << "table block past the end";
    EXPECT_FALSE(opens(withField(12, 0xFFFFFFF0u)));
    EXPECT_FALSE(opens(withField(16, tableSize + 4)));
    EXPECT_FALSE(opens(withField(20, tableSize - 8))) << "no room for the root directory";
    EXPECT_FALSE(opens(withField(8, static_cast<uint32_t>(plain.size() + 1))));
    EXPECT_FALSE(opens(Bytes(plain.begin(), plain.begin() + 23)));

    // Fields that only a lookup or a read meets: the archive opens, the member does not.
    auto memberFails = [&](Bytes image, const char* path) {
        archive_test::ToggleScramble(image);
        ArchiveRecord record;
        InitArchiveRecord(&record);
        EXPECT_EQ(OpenArchiveFromImage(&record, image.data(), image.size(), nullptr), 0);
        Bytes got;
        const bool read = ReadMember(&record, path, &got);
        TermArchiveRecord(&record);
        return !read;
    };
    const size_t a = fileTable;         // first root entry: A.bmp (stored)
    const size_t text = fileTable + 44; // second: text.txt (compressed)
    EXPECT_TRUE(memberFails(withField(dirTable + 8, 0x7FFFFFFF), "A.bmp")) << "entry count";
    EXPECT_TRUE(memberFails(withField(dirTable + 12, 0xFFFFFFF0u), "A.bmp")) << "first entry";
    EXPECT_TRUE(memberFails(withField(a, 0xFFFFFFF0u), "A.bmp")) << "name offset";
    EXPECT_TRUE(memberFails(withField(a + 32, 0xFFFFFF00u), "A.bmp")) << "data offset";
    EXPECT_TRUE(memberFails(withField(a + 36, 0x7FFFFFFF), "A.bmp")) << "stored size";
    EXPECT_TRUE(memberFails(withField(text + 40, 8), "text.txt")) << "packed size below the head";
    EXPECT_TRUE(memberFails(withField(text + 40, 0x7FFFFFFF), "text.txt")) << "packed past the end";
    const uint32_t textAvailable = static_cast<uint32_t>(
        plain.size() - archive_test::Get32(plain, 8) - archive_test::Get32(plain, text + 32));
    EXPECT_TRUE(memberFails(withField(text + 40, textAvailable + 1), "text.txt"))
        << "packed one byte past the end";
    {
        Bytes image = withField(text + 40, textAvailable + 1);
        archive_test::Put32(image, text + 36, 1);  // a decoded size that would fit
        archive_test::ToggleScramble(image);
        ArchiveRecord record;
        InitArchiveRecord(&record);
        ASSERT_EQ(OpenArchiveFromImage(&record, image.data(), image.size(), nullptr), 0);
        uint32_t offset = 0, size = 0;
        EXPECT_EQ(GetArchiveMemberLocation(&record, "text.txt", &offset, &size), -1)
            << "the location of a member packed past the end";
        TermArchiveRecord(&record);
    }
    EXPECT_TRUE(memberFails(withField(text + 36, 300001), "text.txt")) << "size unlike the head's";
    StartFreshLog();
    EXPECT_TRUE(memberFails(withField(text + 36, 0xFFFFFFF0u), "text.txt")) << "size beyond any block";
    EXPECT_EQ(ReadLog().find("Alloc memory dump"), std::string::npos) << "refused before allocating";
    // A name record whose length runs past the block.
    Bytes badName = plain;
    const uint32_t nameOffset = archive_test::Get32(plain, a);
    badName[tableOffset + nameOffset] = 0xFF;
    badName[tableOffset + nameOffset + 1] = 0xFF;
    EXPECT_TRUE(memberFails(badName, "A.bmp"));
    // A directory entry whose directory record lies outside the table.
    EXPECT_TRUE(memberFails(withField(fileTable + 2 * 44 + 32, 0xFFFFFF00u), "Sub\\b.dat"));

    // Every truncation and random damage: no crash, no read outside the image.
    for (size_t cut = 0; cut < plain.size(); cut += plain.size() / 97 + 1)
        ExerciseDamaged(Bytes(plain.begin(), plain.begin() + static_cast<long>(cut)));
    for (size_t cut = tableOffset; cut < plain.size(); ++cut)
        ExerciseDamaged(Bytes(plain.begin(), plain.begin() + static_cast<long>(cut)));
    uint32_t state = 5;
    for (int trial = 0; trial < 400; ++trial) {
        Bytes damaged = plain;
        for (int flips = 0; flips < 3; ++flips) {
            state = state * 1664525u + 1013904223u;
            // Mostly the tables, sometimes the data.
            const size_t span = (trial % 4 == 0) ? damaged.size() : tableSize;
            const size_t base = (trial % 4 == 0) ? 0 : tableOffset;
            damaged[base + (state >> 8) % span] ^= static_cast<uint8_t>(1 + (state >> 24) % 255);
        }
        ExerciseDamaged(damaged);
    }
}

TEST(ArchiveReader, DamagedArchiveFilesFailCleanlyWhenStreamed) {
    const std::vector<ArchiveWriterFile> files = SampleFiles();
    Bytes plain = BuildImage(files);
    const std::string folder = file_test::MakeScratchFolder("archive_damaged");
    const std::string path = folder + "/cut.VKA";
    for (size_t cut = 0; cut < plain.size(); cut += plain.size() / 13 + 1) {
        file_test::WriteBytes(path, Bytes(plain.begin(), plain.begin() + static_cast<long>(cut)));
        ArchiveRecord record;
        InitArchiveRecord(&record);
        if (OpenArchiveStreamed(&record, path.c_str(), nullptr) == 0) {
            for (const char* member : kFileMembers) {
                Bytes got;
                ReadMember(&record, member, &got);
            }
            CloseArchive(&record);
        }
    }
    // A member whose data reaches past the file's end: the archive opens, the member is refused.
    Bytes image = BuildImage(files, {2, ArchiveCompression::WhenSmaller, nullptr, false, -1});
    archive_test::ToggleScramble(image);
    const uint32_t fileTable = archive_test::Get32(image, 12) + archive_test::Get32(image, 16);
    const struct {
        const char* what;
        size_t field;
        uint32_t value;
        const char* member;
    } pastTheEnd[] = {{"data offset", fileTable + 32, static_cast<uint32_t>(image.size() - 2), "A.bmp"},
                      {"stored size", fileTable + 36, 0x7FFFFFFF, "A.bmp"},
                      {"packed size", fileTable + 44 + 40, 0x7FFFFFFF, "text.txt"}};
    for (const auto& c : pastTheEnd) {
        SCOPED_TRACE(c.what);
        Bytes damaged = image;
        archive_test::Put32(damaged, c.field, c.value);
        archive_test::ToggleScramble(damaged);
        file_test::WriteBytes(path, damaged);
        ArchiveRecord record;
        InitArchiveRecord(&record);
        ASSERT_EQ(OpenArchiveStreamed(&record, path.c_str(), nullptr), 0);
        Bytes got;
        EXPECT_FALSE(ReadMember(&record, c.member, &got));
        ASSERT_TRUE(ReadMember(&record, "Twin", &got));
        EXPECT_EQ(got, MemberData(files, 4));
        CloseArchive(&record);
    }
    // The file cut short inside a stored member after the open: a read reports what arrived.
    archive_test::ToggleScramble(image);
    file_test::WriteBytes(path, image);
    ArchiveRecord cut;
    InitArchiveRecord(&cut);
    ASSERT_EQ(OpenArchiveStreamed(&cut, path.c_str(), nullptr), 0);
    ArchiveMemberState member;
    ASSERT_EQ(OpenArchiveMember(&member, &cut, "A.bmp", 0), 0);
    std::filesystem::resize_file(path, member.archiveOffset + 10);
    Bytes got(MemberData(files, 0).size());
    EXPECT_EQ(ReadArchiveMember(&member, got.data(), got.size()), 10u);
    EXPECT_EQ(TellArchiveMember(&member), 10);
    CloseArchiveMember(&member);
    CloseArchive(&cut);
    ArchiveRecord record;
    InitArchiveRecord(&record);
    EXPECT_EQ(OpenArchiveStreamed(&record, (folder + "/none.VKA").c_str(), nullptr), -1);
    file_test::WriteBytes(path, file_test::PatternBytes(1000, 3));
    EXPECT_EQ(OpenArchiveStreamed(&record, path.c_str(), nullptr), -1) << "no signature";
    EXPECT_EQ(record.open, 0);
}

}  // namespace

namespace {

TEST(ArchiveKey, ScramblesByArchivePositionFromAnyOffset) {
    unsigned char key[kArchiveKeySize];
    MakeArchiveKey("key", key);
    unsigned char other[kArchiveKeySize];
    MakeArchiveKey(nullptr, other);
    EXPECT_NE(std::memcmp(key, other, kArchiveKeySize), 0);
    const Bytes data = file_test::PatternBytes(200, 31);
    for (uint64_t offset : {0ull, 5ull, 11ull, 12ull, 1000003ull}) {
        for (size_t length : {0u, 1u, 23u, 24u, 25u, 100u, 200u}) {
            Bytes scrambled(data.begin(), data.begin() + static_cast<long>(length));
            ScrambleArchiveBytes(length, scrambled.data(), offset, key);
            for (size_t i = 0; i < length; ++i)
                ASSERT_EQ(scrambled[i], data[i] ^ key[(offset + i) % kArchiveKeySize]) << offset << " " << i;
            ScrambleArchiveBytes(length, scrambled.data(), offset, key);
            EXPECT_TRUE(std::equal(scrambled.begin(), scrambled.end(), data.begin()));
        }
    }
}

}  // namespace
