// Writes seed inputs for the fuzzers: LOGIN7 records as different clients lay
// them out, and packet streams holding each request type.
#include <filesystem>
#include <fstream>
#include <string>

#include "../tests/Login7Builder.h"

namespace {

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes,
           std::uint8_t prefix = 0) {
  std::ofstream out(path, std::ios::binary);
  if (prefix) out.put(static_cast<char>(prefix));
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  using namespace standin::tds;
  using namespace standin::tds::testing;
  if (argc != 3) return 2;
  std::filesystem::path login(argv[1]);
  std::filesystem::path packets(argv[2]);
  std::filesystem::create_directories(login);
  std::filesystem::create_directories(packets);

  Login7Fields tds71;
  tds71.tdsVersion = 0x71000001;
  Login7Fields features;
  features.featureExtension = true;
  Login7Fields ntlm;
  ntlm.userName = u"";
  ntlm.password = u"";
  ntlm.optionFlags2 = 0x83;
  ntlm.sspi = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0, 1, 0, 0, 0};
  Write(login / "tds74", BuildLogin7(Login7Fields{}));
  Write(login / "tds71", BuildLogin7(tds71));
  Write(login / "featureext", BuildLogin7(features));
  Write(login / "ntlm", BuildLogin7(ntlm));

  auto batch = AllHeaders();
  auto text = Utf16Le(u"SELECT 1");
  batch.insert(batch.end(), text.begin(), text.end());
  Write(packets / "batch", Packetise(PacketType::SqlBatch, batch, 512), 7);
  std::vector<std::uint8_t> rpc = AllHeaders();
  for (std::uint8_t byte : std::initializer_list<std::uint8_t>{
           0xFF, 0xFF, 10,   0,    0,  0, 0, 0, 0x63, 0xFE, 0xFF, 0xFF, 0x7F, 9,
           4,    0xD0, 0,    0x34, 2,  0, 0, 0, 'x',  0,    2,    '@',  0,    'o',
           0,    1,    0x6A, 9,    18, 4, 5, 1, 1,    0,    0,    0}) {
    rpc.push_back(byte);
  }
  Write(packets / "rpc", Packetise(PacketType::Rpc, rpc, 4096), 63);
  Write(packets / "prelogin",
        Packetise(PacketType::Prelogin, {0x01, 0x00, 0x06, 0x00, 0x01, 0xFF, 0x02}), 3);
  auto tm = AllHeaders();
  for (std::uint8_t byte : {7, 0, 0, 1, 0, 0}) tm.push_back(byte);
  Write(packets / "transaction", Packetise(PacketType::TransactionManager, tm), 1);
  return 0;
}
