#include "FetcherTestSupport.h"

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{

using namespace fetchertest;

// OpenSSL's subject-hash name of the certificate in PEM file `certificate`, as c_rehash names
// its link ("5ad8a5d6.0").
std::string subjectHashName (const fs::path& certificate)
{
    const std::unique_ptr<std::FILE, int (*) (std::FILE*)> file (std::fopen (certificate.c_str(), "r"), std::fclose);

    if (file == nullptr)
        return {};

    const std::unique_ptr<X509, void (*) (X509*)> x509 (PEM_read_X509 (file.get(), nullptr, nullptr, nullptr), X509_free);

    if (x509 == nullptr)
        return {};

    char name[16];
    std::snprintf (name, sizeof (name), "%08lx.0", X509_subject_name_hash (x509.get()));
    return name;
}

// The server's CA is looked up in the system's hashed folder first, and the bundle is the
// fallback when the folder cannot verify it. Each case runs in a child process with a mount
// namespace of its own, in which /etc/ssl/certs (libcurl's default folder, and the folder of its
// default bundle) is a folder made for the case: one hashed certificate, the service's CA or one
// that never signed it, and a bundle of either or of no certificate at all, which libcurl
// refuses to load.
TEST_F (ReleaseFetcherService, TheHashedFolderIsLookedUpFirstAndTheBundleBacksItUp)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a mount namespace";

    const auto certificates = fs::path (environment ("ZORVAMANAGER_TEST_CERT")).parent_path();
    const auto serviceCa = certificates / "ca.crt";
    const auto otherCa = certificates / "untrusted-ca.crt";

    const std::string serviceCaText = zorvatest::readFile (serviceCa), otherCaText = zorvatest::readFile (otherCa);

    struct Case
    {
        const char* what;
        bool folderHasServiceCa;
        std::string bundle;
        bool verifies;
    };

    const std::vector<Case> cases {
        { "both hold it", true, serviceCaText, true },
        { "the folder holds it: the bundle is not even read", true, "no certificate", true },
        { "the bundle alone holds it: the folder lags behind, the bundle verifies", false, serviceCaText, true },
        { "neither holds it: refused", false, otherCaText, false },
    };

    for (const auto& test : cases)
    {
        SCOPED_TRACE (test.what);
        const auto folder = temp / ("trust-" + std::to_string (&test - cases.data()));
        const auto hashed = test.folderHasServiceCa ? serviceCa : otherCa;
        fs::create_directories (folder);
        zorvatest::writeFile (folder / "ca-certificates.crt", test.bundle);
        zorvatest::writeFile (folder / "hashed.pem", zorvatest::readFile (hashed));
        const auto link = subjectHashName (hashed);
        ASSERT_FALSE (link.empty());
        fs::create_symlink ("hashed.pem", folder / link);

        const auto status = zorvatest::runInChild ([&] {
            if (::unshare (CLONE_NEWNS) != 0 || ::mount ("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount (folder.c_str(), "/etc/ssl/certs", nullptr, MS_BIND, nullptr) != 0)
                return 10;

            const auto fetched = ReleaseFetcher::fetchHttps (url ("/test/bytes/10"), 20);

            if (test.verifies)
                return fetched.ok && fetched.body == serviceBytes (10) ? 0 : 1;

            return ! fetched.ok && fetched.httpStatus == 0 && fetched.error == certificateText ? 0 : 2;
        });

        EXPECT_EQ (status, 0) << (status == 10 ? "no mount namespace" : status == 1 ? "not verified" : "not refused as expected");
    }
}

} // namespace
