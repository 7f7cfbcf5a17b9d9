// The storage connection against the simulated camera's model, tick by tick, with the
// requests that crossed checked from the model's trace.
#include <gtest/gtest.h>

#include "camera_model.h"
#include "fake_view.h"
#include "fetch_session.h"
#include "session_peer.h"

using namespace camfetch;

namespace {

camsim::StoredFile File(const char* name, const char* ext, size_t size) {
    camsim::StoredFile file;
    file.name = name;
    file.extension = ext;
    file.content.assign(size, 1);
    return file;
}

struct ModelRig {
    camsim::CameraModel model;
    camera::CameraChannel channel;
    FakeView view;
    FetchSession session;

    explicit ModelRig(camsim::Profile profile)
        : model(std::move(profile)),
          channel(std::make_unique<camsim::ModelTransport>(model)),
          session(channel, view) {
        channel.Open();
    }
    // Ticks until the connection settles in a final state or the listing ends; returns ticks.
    int RunUntilSettled(int limit = 1000) {
        for (int tick = 1; tick <= limit; ++tick) {
            session.ConnectionStep();
            if (session.connectionState() >= ConnectionState::NoImages) return tick;
            if (session.connectionState() == ConnectionState::Serving &&
                !FetchSessionPeer::ListingActive(session))
                return tick;
        }
        return -1;
    }
    int Requests(uint32_t property) const {
        int n = 0;
        for (const auto& r : model.trace()) n += r.property == property;
        return n;
    }
};

}  // namespace

TEST(ModelConnection, ListsEveryKnownFileAcrossBlocksAndBusyPolls) {
    camsim::Profile profile;
    profile.blockSize = 64;     // two entries a block
    profile.notReadyPolls = 3;  // every answer is preceded by three busy polls
    profile.files = {File("NOTES", "TXT", 1),       File("README", "TXT", 1),
                     File("IMG_0001", "JPG", 5000), File("CLIP0001", "AVI", 70000),
                     File("SND0001", "wav", 1),     File("LOG", "BIN", 1),
                     File("IMG_0002", "jpg", 1023)};
    ModelRig rig(profile);
    int ticks = rig.RunUntilSettled();
    ASSERT_GT(ticks, 0);
    EXPECT_EQ(ConnectionState::Serving, rig.session.connectionState());
    std::string listed;
    for (const auto& item : rig.session.catalogue())
        listed += item.name + "." + item.extension + "=" + item.sizeText + " ";
    EXPECT_EQ("SND0001.wav=0KB IMG_0002.jpg=0KB IMG_0001.JPG=4KB CLIP0001.AVI=68KB ", listed);
    EXPECT_EQ(4u, rig.view.rows.size());
    EXPECT_EQ((std::vector<int>{kModeListing, kModeReady}), rig.view.modes);
    // The scan read the first block (unknown files only) and the second; the listing then read
    // all four blocks from the first.
    EXPECT_EQ(2, rig.Requests(39));
    EXPECT_EQ(1 + 3, rig.Requests(40));

    size_t before = rig.model.trace().size();
    for (int i = 0; i < 20; ++i) rig.session.ConnectionStep();
    EXPECT_EQ(before, rig.model.trace().size()) << "an idle connection sends nothing";
}

TEST(ModelConnection, EndsAndFailures) {
    struct Row {
        const char* what;
        camsim::Profile profile;
        ConnectionState state;
        int mode;  // the last mode set, -1 for none
    };
    camsim::Profile absent;
    absent.storagePresent = false;
    absent.files = {File("A", "JPG", 1)};
    camsim::Profile empty;
    camsim::Profile unknownOnly;
    unknownOnly.blockSize = 32;
    unknownOnly.files = {File("A", "TXT", 1), File("B", "DOC", 1)};
    camsim::Profile unplugged;
    unplugged.files = {File("A", "JPG", 1)};
    unplugged.faults = {
        {camsim::FaultKind::Unplug, camera::kPropCatalogueStart, camsim::Direction::Set, 2, 0}};
    camsim::Profile hugeListing;
    hugeListing.files = {File("A", "JPG", 1)};
    hugeListing.faults = {{camsim::FaultKind::HugeLength, camera::kPropSystemInfo,
                           camsim::Direction::Get, 3, 0x40000000}};  // the listing's first poll
    camsim::Profile statusError;
    statusError.files = {File("A", "JPG", 1)};
    statusError.faults = {{camsim::FaultKind::StatusError, camera::kPropSystemInfoRequest,
                           camsim::Direction::Set, 0, 0}};
    const Row rows[] = {
        {"storage absent", absent, ConnectionState::NoImages, -1},
        {"empty catalogue", empty, ConnectionState::NoImages, -1},
        {"unknown files only", unknownOnly, ConnectionState::NoImages, -1},
        {"unplugged when the listing starts", unplugged, ConnectionState::Failed, -1},
        {"1 GiB block in the listing", hugeListing, ConnectionState::Failed, kModeListing},
        {"storage query answers error", statusError, ConnectionState::Failed, -1},
    };
    for (const Row& row : rows) {
        ModelRig rig(row.profile);
        ASSERT_GT(rig.RunUntilSettled(), 0) << row.what;
        EXPECT_EQ(row.state, rig.session.connectionState())
            << row.what << ": " << FetchSessionPeer::Failure(rig.session);
        EXPECT_EQ(row.mode, rig.view.modes.empty() ? -1 : rig.view.modes.back()) << row.what;
        EXPECT_EQ(row.state == ConnectionState::NoImages ? kStringNoImages : kStringFailed,
                  rig.view.messages.back())
            << row.what;
        for (const auto& r : rig.model.trace())
            EXPECT_FALSE(r.property == camera::kPropMemoryData && r.length > kMaxBlockLength)
                << row.what << ": no absurd read";
        if (!row.profile.storagePresent) {
            EXPECT_EQ(0, rig.Requests(39)) << row.what << ": the catalogue is not opened";
        }
    }
}
