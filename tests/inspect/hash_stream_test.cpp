#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "crypt_provider.h"
#include "hash_stream.h"
#include "inspect_test_support.h"

namespace {

using ::testing::Each;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::wstring untouched = L"untouched";

// Serves bytes from memory and records every bulk read request it gets.
class counting_stream : private std::streambuf, public std::istream {
public:
    explicit counting_stream(std::string bytes) : std::istream(this), bytes_(std::move(bytes)) {}

    std::vector<std::streamsize> requests;
    std::vector<const char*> destinations;

private:
    std::streamsize xsgetn(char* destination, std::streamsize count) override {
        requests.push_back(count);
        destinations.push_back(destination);
        const auto taken =
            std::min<std::streamsize>(count, static_cast<std::streamsize>(bytes_.size() - next_));
        std::memcpy(destination, bytes_.data() + next_, static_cast<std::size_t>(taken));
        next_ += static_cast<std::size_t>(taken);
        return taken;
    }

    std::string bytes_;
    std::size_t next_ = 0;
};

class hash_stream_test : public ::testing::Test {
protected:
    // The digest written to a fresh `out`, or `untouched` where none was.
    std::wstring digest(std::istream& stream, std::int64_t size, const wchar_t* separator = L"") {
        std::wstring out = untouched;
        hash_stream(provider, CALG_SHA1, stream, size, 65536, separator, out);
        return out;
    }

    crypt_provider provider;
};

TEST_F(hash_stream_test, gives_the_fips_180_digests) {
    const struct {
        std::string message;
        std::wstring digest;
    } vectors[] = {
        {"", empty_digest},
        {"abc", L"a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         L"84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), L"34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& vector : vectors) {
        SCOPED_TRACE(vector.message.size());
        std::istringstream stream(vector.message);
        EXPECT_EQ(digest(stream, static_cast<std::int64_t>(vector.message.size())), vector.digest);
    }
}

// The stream always holds 131072 bytes, so smaller sizes hash leading bytes only.
TEST_F(hash_stream_test, reads_in_chunks_of_at_most_64_kib_into_one_buffer) {
    const struct {
        std::int64_t size;
        std::wstring digest;
        std::vector<std::streamsize> requests;
    } cases[] = {
        {65535, L"fcdcbc0a3c69abbb021afa4a13ec39c4ad11cdb8", {65535}},
        {65536, L"fefb71740a82b94a2da3bcd2fd72fc64a7fb8666", {65536}},
        {65537, L"74c69f8e2c886f87f68d52d16c30e9b4790513c9", {65536, 1}},
        {131072, L"564e3cea4a332298880258b2896477ce725866e4", {65536, 65536}},
        {0, empty_digest, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        counting_stream stream(pattern(131072));
        EXPECT_EQ(digest(stream, c.size), c.digest);
        EXPECT_THAT(stream.requests, ElementsAreArray(c.requests));
        if (!stream.destinations.empty()) {
            EXPECT_THAT(stream.destinations, Each(stream.destinations.front()));
        }
        EXPECT_TRUE(stream.good());
    }
}

TEST_F(hash_stream_test, gives_no_digest_for_a_size_beyond_the_stream_or_below_zero) {
    counting_stream short_stream(pattern(65537));
    EXPECT_EQ(digest(short_stream, 65538), untouched);
    EXPECT_THAT(short_stream.requests, ElementsAreArray({65536, 2}));
    EXPECT_TRUE(short_stream.fail());

    counting_stream stream("abc");
    EXPECT_EQ(digest(stream, -1), untouched);
    EXPECT_THAT(stream.requests, IsEmpty());
    EXPECT_TRUE(stream.good());
}

TEST_F(hash_stream_test, still_creates_and_destroys_the_hash_for_a_stream_failed_before) {
    const scripted_crypt counted;
    counting_stream stream("abc");
    stream.setstate(std::ios::failbit);
    EXPECT_EQ(digest(stream, 3), untouched);
    EXPECT_THAT(stream.requests, IsEmpty());
    EXPECT_EQ(stream.rdstate(), std::ios::failbit);
    EXPECT_EQ(script.created, 1);
    EXPECT_EQ(script.destroyed, 1);

    // End of file alone is no failure.
    std::istringstream ended("");
    ended.setstate(std::ios::eofbit);
    EXPECT_EQ(digest(ended, 0), empty_digest);
}

TEST_F(hash_stream_test, joins_the_pairs_with_the_separator_and_drops_only_its_last_character) {
    std::istringstream colon("abc");
    const std::wstring joined = digest(colon, 3, L":");
    EXPECT_EQ(joined.size(), 59u);
    EXPECT_EQ(joined, L"a9:99:3e:36:47:06:81:6a:ba:3e:25:71:78:50:c2:6c:9c:d0:d8:9d");

    std::istringstream longer("abc");
    const std::wstring two = digest(longer, 3, L"-+");
    EXPECT_EQ(two.size(), 79u);
    EXPECT_EQ(two.substr(0, 6), L"a9-+99");
    EXPECT_EQ(two.substr(two.size() - 5), L"-+9d-");
}

struct crypt_failure {
    const char* name;
    crypt_call call;
    DWORD code;
    int destroyed;  // no hash to release when creating it failed
};

class hash_stream_crypt_failure : public hash_stream_test,
                                  public ::testing::WithParamInterface<crypt_failure> {};

TEST_P(hash_stream_crypt_failure, throws_the_code_leaves_out_untouched_and_releases_the_hash) {
    const scripted_crypt failing(GetParam().call, GetParam().code);
    counting_stream stream("abc");
    std::wstring out = untouched;
    const auto hash = [&] { hash_stream(provider, CALG_SHA1, stream, 3, 65536, L"", out); };
    EXPECT_EQ(code_thrown<pelmar::crypto::crypto_exception>(hash), GetParam().code);
    EXPECT_EQ(out, untouched);
    EXPECT_EQ(script.destroyed, GetParam().destroyed);
    if (GetParam().call == crypt_call::create_hash) {
        EXPECT_THAT(stream.requests, IsEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    each_call, hash_stream_crypt_failure,
    ::testing::Values(
        crypt_failure{"create_hash", crypt_call::create_hash, static_cast<DWORD>(NTE_BAD_ALGID), 0},
        crypt_failure{"hash_data", crypt_call::hash_data, static_cast<DWORD>(NTE_BAD_HASH), 1},
        crypt_failure{"hash_size", crypt_call::hash_size, static_cast<DWORD>(NTE_BAD_TYPE), 1},
        crypt_failure{"hash_value", crypt_call::hash_value, ERROR_MORE_DATA, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
