#include <gtest/gtest.h>

#include "fake_view.h"
#include "fetch_session.h"
#include "session_peer.h"
#include "scripted_camera.h"

using namespace camfetch;
using camera::SystemInfo;

namespace {

constexpr uint32_t kReady = camera::kStatusReady;
constexpr uint32_t kLast = camera::kStatusLast;
constexpr uint32_t kError = camera::kStatusError;
constexpr uint32_t kPresence = 0x100;
// The block limit written out, so that a change of kMaxBlockLength fails these tests too.
constexpr uint32_t k16MiB = 16u * 1024 * 1024;

struct Rig {
    ScriptedCamera* camera;  // owned by channel
    camera::CameraChannel channel;
    FakeView view;
    FetchSession session;

    Rig() : Rig(new ScriptedCamera) {}
    explicit Rig(ScriptedCamera* cam)
        : camera(cam),
          channel(std::unique_ptr<camera::PropertyTransport>(cam)),
          session(channel, view) {
        channel.Open();
    }

    // Lets the presence check through with the word at kPresence.
    void PresenceReady(uint32_t word = 1) {
        camera->memory[kPresence] = {uint8_t(word), 0, 0, 0};
        camera->statuses.push_back({kPresence, 4, kReady});
    }
    // A ready catalogue block at its own address.
    void BlockReady(uint32_t address, const std::vector<uint8_t>& block, uint32_t flags = kReady) {
        camera->memory[address] = block;
        camera->statuses.push_back({address, uint32_t(block.size()), flags});
    }
    std::string TickIds() {
        camera->requests.clear();
        session.ConnectionStep();
        return camera->Ids();
    }
};

}  // namespace

TEST(Connection, StorageCheckOutcomes) {
    struct Row {
        const char* what;
        std::vector<SystemInfo> statuses;  // what property 34 answers in state 1
        uint32_t presence;
        ConnectionState state;
        std::string ids;  // requests of the first tick
    };
    const Row rows[] = {
        {"busy", {{kPresence, 4, 0}}, 1, ConnectionState::CheckingStorage, "49 -34"},
        {"read fails", {}, 1, ConnectionState::Failed, "49 -34"},
        {"error with ready",
         {{kPresence, 4, kReady | kError}},
         1,
         ConnectionState::Failed,
         "49 -34"},
        {"error alone", {{kPresence, 4, kError}}, 1, ConnectionState::Failed, "49 -34"},
        {"length 0", {{kPresence, 0, kReady}}, 1, ConnectionState::Failed, "49 -34"},
        {"length 3", {{kPresence, 3, kReady}}, 1, ConnectionState::Failed, "49 -34"},
        {"length 8",
         {{kPresence, 8, kReady}, {0, 0, 0}},
         1,
         ConnectionState::ScanningCatalogue,
         "49 -34 1 -3 39 -34"},
        {"length unsigned huge",
         {{kPresence, 0xFFFFFFF0u, kReady}, {0, 0, 0}},
         1,
         ConnectionState::ScanningCatalogue,
         "49 -34 1 -3 39 -34"},
        {"absent", {{kPresence, 4, kReady}}, 0, ConnectionState::NoImages, "49 -34 1 -3"},
        {"other bits only",
         {{kPresence, 4, kReady}},
         0xFFFFFFFE,
         ConnectionState::NoImages,
         "49 -34 1 -3"},
        {"present",
         {{kPresence, 4, kReady}, {0, 0, 0}},
         1,
         ConnectionState::ScanningCatalogue,
         "49 -34 1 -3 39 -34"},
    };
    for (const Row& row : rows) {
        Rig rig;
        // Four more bytes after the word: a longer read would find them.
        rig.camera->memory[kPresence] = std::vector<uint8_t>(8, 0xFF);
        camera::StoreU32(rig.camera->memory[kPresence].data(), row.presence);
        for (auto& s : row.statuses) rig.camera->statuses.push_back(s);
        EXPECT_EQ(row.ids, rig.TickIds()) << row.what;
        // The presence word is read as exactly its 4 bytes, whatever length the status gives.
        for (const Request& r : rig.camera->requests) {
            if (r.property != camera::kPropMemoryWindow) continue;
            const camera::MemoryWindow window = camera::DecodeMemoryWindow(r.bytes.data());
            EXPECT_EQ(kPresence, window.address) << row.what;
            EXPECT_EQ(4u, window.length) << row.what;
        }
        EXPECT_EQ(row.state, rig.session.connectionState())
            << row.what << ": " << FetchSessionPeer::Failure(rig.session);
        if (row.state == ConnectionState::Failed || row.state == ConnectionState::NoImages) {
            EXPECT_EQ(std::vector<int>{row.state == ConnectionState::Failed ? kStringFailed
                                                                            : kStringNoImages},
                      rig.view.messages)
                << row.what;
            EXPECT_EQ(std::vector<int>{15}, rig.view.countdownShown) << row.what;
            EXPECT_TRUE(rig.view.countdownRevealed) << row.what;
            EXPECT_EQ(1, rig.view.countdownTimersStarted) << row.what;
            EXPECT_EQ("", rig.TickIds()) << row.what << ": final states send nothing";
        }
        EXPECT_TRUE(rig.view.modes.empty()) << row.what;
    }
}

TEST(Connection, FailedCommandsFailTheConnection) {
    struct Row {
        const char* what;
        uint32_t failing;
        std::string ids;
    };
    const Row rows[] = {
        {"storage query", 49, "49"},
        {"presence read window", 1, "49 -34 1"},
        {"presence read data", 3, "49 -34 1 -3"},
        {"catalogue start", 39, "49 -34 1 -3 39"},
    };
    for (const Row& row : rows) {
        Rig rig;
        rig.PresenceReady();
        rig.camera->failing.insert(row.failing);
        EXPECT_EQ(row.ids, rig.TickIds()) << row.what;
        EXPECT_EQ(ConnectionState::Failed, rig.session.connectionState())
            << row.what << ": " << FetchSessionPeer::Failure(rig.session);
        EXPECT_EQ(std::vector<int>{kStringFailed}, rig.view.messages) << row.what;
    }
}

TEST(Connection, ScanSkipsBlocksWithoutKnownFilesThenListsFromTheFirstBlock) {
    Rig rig;
    rig.PresenceReady();
    auto unknown = Block({Entry("NOTES", "txt", 5), Entry("X", "bin", 5)});
    auto known = Block({Entry("B", "jpg", 2048), Entry("A", "avi", 100), Entry("C", "wav", 1)});
    rig.BlockReady(0x1000, unknown);
    EXPECT_EQ("49 -34 1 -3 39 -34 1 -3 40", rig.TickIds());
    EXPECT_EQ(ConnectionState::ScanningCatalogue, rig.session.connectionState());

    // Zero and negative lengths hold no entries and are not read.
    rig.camera->statuses.push_back({0x2000, 0, kReady});
    EXPECT_EQ("-34 40", rig.TickIds());
    rig.camera->statuses.push_back({0x2000, 0xFFFFFFFF, kReady});
    EXPECT_EQ("-34 40", rig.TickIds());
    rig.camera->statuses.push_back({0x2000, 64, 0});
    EXPECT_EQ("-34", rig.TickIds()) << "busy: poll again next tick";

    // The first block with a known file ends the scan although it is not the last; the
    // listing starts over from the first block in the same tick and polls for it.
    rig.BlockReady(0x3000, known);
    rig.camera->statuses.push_back({0, 0, 0});  // the listing's first poll: busy
    EXPECT_EQ("-34 1 -3 39 -34", rig.TickIds());
    EXPECT_EQ(ConnectionState::Serving, rig.session.connectionState());
    EXPECT_EQ((std::vector<int>{kStringConnected}), rig.view.messages);
    ASSERT_EQ(1u, rig.view.sources.size());
    EXPECT_EQ("Flash Memory", rig.view.sources[0].first);
    EXPECT_EQ(1, FetchSessionPeer::StorageSource(rig.session));
    EXPECT_EQ(std::vector<int>{kModeListing}, rig.view.modes);
    EXPECT_TRUE(FetchSessionPeer::ListingActive(rig.session));
    EXPECT_TRUE(rig.session.catalogue().empty());

    // Listing: one block per tick, the unknown block adds nothing.
    rig.BlockReady(0x1000, unknown);
    EXPECT_EQ("-34 1 -3 40", rig.TickIds());
    rig.BlockReady(0x3000, known);
    EXPECT_EQ("-34 1 -3 40", rig.TickIds());
    EXPECT_EQ(3u, rig.view.rows.size());
    EXPECT_EQ("B", rig.session.catalogue()[0].name) << "delivery order until the listing ends";
    rig.BlockReady(0x4000, Block({Entry("D", "JPG", 0)}), kReady | kLast);
    EXPECT_EQ("-34 1 -3", rig.TickIds());
    EXPECT_FALSE(FetchSessionPeer::ListingActive(rig.session));
    EXPECT_EQ((std::vector<int>{kModeListing, kModeReady}), rig.view.modes);
    std::string names;
    for (auto& item : rig.session.catalogue()) names += item.name;
    EXPECT_EQ("DCBA", names) << "names descending after the first listing";
    EXPECT_EQ(4u, rig.view.rows.size());

    // ConnectionState::Serving with nothing to do sends nothing.
    EXPECT_EQ("", rig.TickIds());
    EXPECT_EQ("", rig.TickIds());
    EXPECT_EQ(ConnectionState::Serving, rig.session.connectionState());
}

TEST(Connection, ScanEndingWithoutKnownFiles) {
    struct Row {
        const char* what;
        std::vector<uint8_t> lastBlock;
        uint32_t lengthOverride;  // 0: the block's size
    };
    const Row rows[] = {
        {"unknown entries", Block({Entry("A", "txt", 1)}), 0},
        {"empty last block", {}, 0},
        {"negative length", {}, 0x80000000u},
    };
    for (const Row& row : rows) {
        Rig rig;
        rig.PresenceReady();
        rig.camera->memory[0x1000] = row.lastBlock;
        rig.camera->statuses.push_back(
            {0x1000, row.lengthOverride ? row.lengthOverride : uint32_t(row.lastBlock.size()),
             kReady | kLast});
        rig.session.ConnectionStep();
        EXPECT_EQ(ConnectionState::NoImages, rig.session.connectionState()) << row.what;
        EXPECT_EQ(std::vector<int>{kStringNoImages}, rig.view.messages) << row.what;
        EXPECT_TRUE(rig.view.modes.empty()) << row.what;
    }
}

TEST(Connection, ScanFailures) {
    struct Row {
        const char* what;
        SystemInfo status;
        uint32_t failing;   // a property that fails, 0 for none
        bool blockMissing;  // the memory read of the block fails
        std::string ids;
    };
    const Row rows[] = {
        {"error before ready", {0x1000, 32, kReady | kError}, 0, false, "-34"},
        {"block read fails", {0x1000, 32, kReady}, 0, true, "-34 1 -3"},
        {"catalogue next fails", {0x1000, 32, kReady}, 40, false, "-34 1 -3 40"},
        {"block above 16 MiB not read", {0x1000, k16MiB + 1, kReady}, 0, false, "-34"},
        {"status read fails", {0, 0, 0}, 34, false, "-34"},
    };
    for (const Row& row : rows) {
        Rig rig;
        rig.PresenceReady();
        rig.camera->statuses.push_back({0, 0, 0});  // the scan's first poll: busy
        rig.session.ConnectionStep();
        ASSERT_EQ(ConnectionState::ScanningCatalogue, rig.session.connectionState()) << row.what;
        if (!row.blockMissing) rig.camera->memory[0x1000] = Block({Entry("A", "txt", 1)});
        rig.camera->statuses.push_back(row.status);
        if (row.failing) rig.camera->failing.insert(row.failing);
        EXPECT_EQ(row.ids, rig.TickIds()) << row.what;
        EXPECT_EQ(ConnectionState::Failed, rig.session.connectionState())
            << row.what << ": " << FetchSessionPeer::Failure(rig.session);
        EXPECT_EQ(std::vector<int>{kStringFailed}, rig.view.messages) << row.what;
    }
}

namespace {
// A rig already serving, listing a catalogue whose first block was found by the scan.
void ToListing(Rig& rig) {
    rig.PresenceReady();
    rig.BlockReady(0x1000, Block({Entry("A", "jpg", 1)}));
    rig.camera->statuses.push_back({0, 0, 0});  // the listing's first poll: busy
    rig.session.ConnectionStep();
    ASSERT_EQ(ConnectionState::Serving, rig.session.connectionState());
    ASSERT_TRUE(FetchSessionPeer::ListingActive(rig.session));
}
}  // namespace

TEST(Listing, FailuresEndTheListingAndKeepWhatWasRead) {
    struct Row {
        const char* what;
        SystemInfo second;
        uint32_t failing;
        std::string ids;
        size_t entries = 1;  // of the block at 0x2000
    };
    const Row rows[] = {
        {"status read fails", {0, 0, 0}, 34, "-34"},
        {"error", {0x2000, 32, kReady | kError}, 0, "-34"},
        {"memory read fails", {0x2000, 32, kReady}, 3, "-34 1 -3"},
        {"catalogue next fails", {0x2000, 32, kReady}, 40, "-34 1 -3 40"},
        {"absurd length", {0x2000, 0x7FFFFFFF, kReady}, 0, "-34"},
        {"one byte above 16 MiB", {0x2000, k16MiB + 1, kReady}, 0, "-34"},
        {"length negative as signed", {0x2000, 0x80000000u, kReady}, 0, "-34"},
        {"length -32, last", {0x2000, 0xFFFFFFE0u, kReady | kLast}, 0, "-34"},
        {"more rows than a FAT directory holds",
         {0x2000, uint32_t(kMaxCatalogueItems * 32), kReady},
         0,
         "-34 1 -3",
         kMaxCatalogueItems},
    };
    for (const Row& row : rows) {
        Rig rig;
        ToListing(rig);
        rig.BlockReady(0x1000, Block({Entry("A", "jpg", 1)}));
        rig.session.ConnectionStep();
        ASSERT_EQ(1u, rig.session.catalogue().size()) << row.what;
        rig.camera->memory[0x2000] =
            Block(std::vector<std::vector<uint8_t>>(row.entries, Entry("B", "jpg", 1)));
        rig.camera->statuses.push_back(row.second);
        if (row.failing) rig.camera->failing.insert(row.failing);
        EXPECT_EQ(row.ids, rig.TickIds()) << row.what;
        EXPECT_EQ(ConnectionState::Failed, rig.session.connectionState())
            << row.what << ": " << FetchSessionPeer::Failure(rig.session);
        EXPECT_FALSE(FetchSessionPeer::ListingActive(rig.session)) << row.what;
        EXPECT_EQ(kModeListing, rig.session.controlMode())
            << row.what << ": a failed listing leaves mode 1";
        EXPECT_EQ(kStringFailed, rig.view.messages.back()) << row.what;
        EXPECT_GE(rig.session.catalogue().size(), 1u) << row.what;
        EXPECT_EQ(rig.session.catalogue().size(), rig.view.rows.size()) << row.what;
    }
}

// A block of exactly the 16 MiB limit is read whole and listed.
TEST(Listing, ABlockOfTheLimitIsListed) {
    Rig rig;
    ToListing(rig);
    std::vector<uint8_t> block = Block({Entry("B", "jpg", 1)});
    block.resize(k16MiB);
    rig.BlockReady(0x2000, block, kReady | kLast);
    EXPECT_EQ("-34 1 -3", rig.TickIds());
    EXPECT_EQ(ConnectionState::Serving, rig.session.connectionState())
        << FetchSessionPeer::Failure(rig.session);
    EXPECT_EQ(kModeReady, rig.session.controlMode());
    ASSERT_EQ(1u, rig.session.catalogue().size());
    EXPECT_EQ("B", rig.session.catalogue()[0].name);
}

TEST(Listing, EmptyLastBlockEndsTheListingWithNothingAdded) {
    Rig rig;
    ToListing(rig);
    rig.camera->statuses.push_back({0x1000, 0, kReady | kLast});
    EXPECT_EQ("-34", rig.TickIds());
    EXPECT_FALSE(FetchSessionPeer::ListingActive(rig.session));
    EXPECT_EQ(kModeReady, rig.session.controlMode());
    EXPECT_TRUE(rig.session.catalogue().empty());
}

TEST(Listing, OnlyTheFlashSourceReachesTheCamera) {
    Rig rig;
    rig.view.rows = {0, 0};
    FetchSessionPeer::Stage(rig.session, std::vector<CatalogueItem>(2));
    rig.session.StorageSourceChanged(2);  // its listing cannot start
    EXPECT_TRUE(rig.session.catalogue().empty()) << "cleared before the source is checked";
    EXPECT_TRUE(rig.view.rows.empty());
    EXPECT_FALSE(rig.session.StartListing());
    rig.view.modes.clear();
    CatalogueItem item;
    EXPECT_FALSE(rig.session.SendCatalogueNext());
    EXPECT_FALSE(rig.session.SendFileOpen(item));
    EXPECT_FALSE(rig.session.SendFileNext());
    EXPECT_FALSE(rig.session.SendFileDelete(item));
    EXPECT_EQ("", rig.camera->Ids());

    rig.session.StorageSourceChanged(1);
    EXPECT_EQ("39", rig.camera->Ids());
    EXPECT_TRUE(FetchSessionPeer::ListingActive(rig.session));
    EXPECT_EQ(std::vector<int>{kModeListing}, rig.view.modes);
    rig.session.StorageSourceChanged(1);
    EXPECT_EQ("39", rig.camera->Ids()) << "the same source again changes nothing";
}

TEST(Countdown, FifteenTicksEndTheDialogOnce) {
    Rig rig;
    rig.camera->failing.insert(49);
    rig.session.ConnectionStep();
    ASSERT_EQ(ConnectionState::Failed, rig.session.connectionState());
    for (int tick = 1; tick <= 14; ++tick) {
        rig.session.CountdownStep();
        EXPECT_EQ(0, rig.view.endedAsCancel) << "tick " << tick;
    }
    rig.session.CountdownStep();
    EXPECT_EQ(1, rig.view.endedAsCancel);
    rig.session.CountdownStep();
    EXPECT_EQ(1, rig.view.endedAsCancel) << "a late tick does not end it again";
    std::vector<int> expected;
    for (int s = 15; s >= 0; --s) expected.push_back(s);
    EXPECT_EQ(expected, rig.view.countdownShown);
}

namespace {
std::string Order(const FetchSession& s, const FakeView& v) {
    std::string out;
    for (size_t i = 0; i < s.catalogue().size(); ++i) {
        out += s.catalogue()[i].name;
        if (v.rows[i] & listStateSelected) out += "*";
        if (v.rows[i] & listStateFocused) out += "^";
        out += " ";
    }
    return out;
}
}  // namespace

TEST(Sorting, ColumnClicksKeepSelectionAndFocusWithTheirItems) {
    Rig rig;
    std::vector<CatalogueItem> items;
    for (auto [name, size] : {std::pair{"D", 300u}, {"C", 100u}, {"B", 400u}, {"A", 200u}}) {
        CatalogueItem item;
        item.name = name;
        item.extension = "jpg";
        item.size = size;
        items.push_back(item);
    }
    FetchSessionPeer::Stage(rig.session, items);
    rig.view.rows = {0, listStateSelected, 0, listStateSelected | listStateFocused};
    struct Row {
        int column;
        const char* order;
    };
    const Row clicks[] = {
        {0, "A*^ B C* D "},  // Name: ascending on the first click
        {2, "C* A*^ D B "},  // Size ascending
        {2, "B D A*^ C* "},  // Size again: descending
        {0, "D C* B A*^ "},  // Name remembers its own direction: descending again
        {3, "D C* B A*^ "},  // Status: sorts again by the current column
    };
    for (const Row& click : clicks) {
        rig.session.ColumnClick(click.column);
        EXPECT_EQ(click.order, Order(rig.session, rig.view)) << "click on column " << click.column;
    }
}

TEST(Catalogue, PurgeDeletedRemovesItemsAndRowsFromTheLast) {
    Rig rig;
    const char* names[] = {"A", "B", "C", "D", "E"};
    uint32_t flags[] = {flagDeleted, 0, flagDeleted | flagSaved, flagDeleting, flagDeleted};
    std::vector<CatalogueItem> items(5);
    for (int i = 0; i < 5; ++i) {
        items[i].name = names[i];
        items[i].flags = flags[i];
    }
    FetchSessionPeer::Stage(rig.session, items);
    rig.view.rows = {0, 1, 2, 3, 4};
    rig.session.PurgeDeleted();
    EXPECT_EQ((std::vector<size_t>{4, 2, 0}), rig.view.deletedRows);
    EXPECT_EQ((std::vector<uint32_t>{1, 3}), rig.view.rows);
    ASSERT_EQ(2u, rig.session.catalogue().size());
    EXPECT_EQ("B", rig.session.catalogue()[0].name);
    EXPECT_EQ("D", rig.session.catalogue()[1].name);
}
