#include "support/TestCertificates.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "support/ProgramRun.h"

namespace talixdb_test {

namespace {

// The authority signs with "openssl ca", whose dates can lie in the past.
const char kAuthorityConfig[] =
    "[ca]\ndefault_ca = test_authority\n[test_authority]\ndatabase = index.txt\nnew_certs_dir = .\nserial = serial\n"
    "default_md = sha256\npolicy = any_name\nunique_subject = no\n[any_name]\ncommonName = supplied\n";

const char kLocalNames[] = "DNS:localhost,IP:127.0.0.1";

// "YYYYMMDDHHMMSSZ", `days` from now.
std::string certificateTime(int days) {
  std::time_t when = std::time(nullptr) + static_cast<std::time_t>(days) * 86400;
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", &parts);
  return text;
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

TestCertificates::TestCertificates() {
  writeFile(path("authority.cnf"), kAuthorityConfig);
  writeFile(path("index.txt"), "");
  writeFile(path("serial"), "1000\n");
  for (const char* key : {"authority.key", "server.key", "other.key"})
    openssl({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", key});
  openssl({"req", "-x509", "-new", "-key", "authority.key", "-out", "authority.pem", "-days", "7", "-subj",
           "/CN=talixdb test authority", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
           "keyUsage=critical,keyCertSign,cRLSign"});
  openssl({"req", "-new", "-key", "server.key", "-subj", "/CN=localhost", "-out", "local.csr"});
  openssl({"req", "-new", "-key", "server.key", "-subj", "/CN=wrong.example", "-out", "wrong-host.csr"});
  sign("local.csr", "server.pem", kLocalNames, certificateTime(-1), certificateTime(7));
  sign("wrong-host.csr", "wrong-host.pem", "DNS:wrong.example", certificateTime(-1), certificateTime(7));
  sign("local.csr", "expired.pem", kLocalNames, "20200101000000Z", "20200102000000Z");
  openssl({"req", "-x509", "-new", "-key", "server.key", "-out", "self-signed.pem", "-days", "7", "-subj",
           "/CN=localhost", "-addext", std::string("subjectAltName=") + kLocalNames});
}

void TestCertificates::openssl(std::vector<std::string> args) const {
  // Found on PATH by env, which says so when it is not installed (Debian package openssl).
  args.insert(args.begin(), "openssl");
  ProgramResult result = runProgram("/usr/bin/env", {args, {}, "", m_dir.path()}, std::chrono::seconds(60));
  if (result.exitCode != 0)
    throw std::runtime_error("openssl " + args[1] + " failed (" + std::to_string(result.exitCode) + "): " + result.err);
}

void TestCertificates::sign(const std::string& request, const std::string& certificate, const std::string& names,
                            const std::string& from, const std::string& until) const {
  const std::string extensions = certificate + ".ext";
  writeFile(path(extensions.c_str()), "subjectAltName=" + names + "\nbasicConstraints=CA:FALSE\n");
  openssl({"ca", "-batch", "-notext", "-config", "authority.cnf", "-cert", "authority.pem", "-keyfile",
           "authority.key", "-in", request, "-out", certificate, "-startdate", from, "-enddate", until, "-extfile",
           extensions});
}

}  // namespace talixdb_test
