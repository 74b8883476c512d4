#include "packlib/DemoPatch.h"

#include <algorithm>

#include <cmath>
#include <cstring>
#include <set>
#include <string_view>

#include "packlib/HostNames.h"

namespace packer {
namespace {

constexpr size_t kLargest = 1481728;
constexpr uint64_t kTotal = 19946092;

// splitmix64: small, and the same sequence everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) { return items[Below(N)]; }

 private:
  uint64_t state_;
};

// Words in UTF-8; the first ones carry 0x5C trail bytes in CP932
// (ソ 83 5C, 表 95 5C, 能 94 5C, 十 8F 5C, 申 90 5C, 予 97 5C ...).
constexpr std::string_view kWords[] = {
    "ソード", "表情", "能力", "十字架", "申請", "予告", "構成", "貼紙", "噂話", "暴走",
    "背景", "立絵", "音声", "効果音", "地図", "会話", "魔法", "戦闘", "宝箱", "城下町",
    "洞窟", "イベント", "タイトル", "メニュー", "アイコン", "ボイス", "シナリオ", "スキル", "アイテム", "予備"};
constexpr std::string_view kAsciiStems[] = {"bg", "se", "ev", "map", "chr", "face", "bgm", "sys", "font", "obj"};

enum class Kind { kText, kTable, kPicture, kSound, kRandom };

struct Shape {
  std::string_view extension;
  Kind kind;
};
// Listed as often as they are drawn; compressed sound (random bytes) is rare.
constexpr Shape kShapes[] = {{".txt", Kind::kText},     {".scr", Kind::kText},     {".scr", Kind::kText},
                             {".dat", Kind::kTable},    {".dat", Kind::kTable},    {".map", Kind::kTable},
                             {".bmp", Kind::kPicture},  {".bmp", Kind::kPicture},  {".bmp", Kind::kPicture},
                             {".bmp", Kind::kPicture},  {".wav", Kind::kSound},    {".wav", Kind::kSound},
                             {".ogg", Kind::kRandom}};

void Put(std::vector<uint8_t>& out, std::string_view s) { out.insert(out.end(), s.begin(), s.end()); }
void Put16(std::vector<uint8_t>& out, unsigned v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::string Cp932(std::string_view utf8) { return Utf8ToCp932(utf8).value_or(std::string(utf8)); }

// Scenario script: commands and dialogue lines in CP932.
void Text(Rng& rng, std::vector<uint8_t>& out, size_t size) {
  static constexpr std::string_view kSpeakers[] = {"アリス", "ソフィア", "十兵衛", "表示係", "予言者", "村人"};
  static constexpr std::string_view kPhrases[] = {
      "そうね", "表の能力は十分だわ", "申し訳ありません", "予定通りに進めましょう", "構わないよ",
      "この先は危険です", "噂話を聞いたかい", "宝箱を見つけた", "魔法の力が暴走している", "城下町へ戻ろう",
      "ソードを構えろ", "十字架が光っている", "まだ終わっていない", "ありがとう"};
  static constexpr std::string_view kCommands[] = {"@bg file=", "@chr name=", "@se play=", "@wait time=",
                                                   "@bgm fade=", "@face id=", "@jump label="};
  while (out.size() < size) {
    std::string line;
    if (rng.Below(3) == 0) {
      line = std::string(rng.Pick(kCommands)) + rng.Pick(kAsciiStems).data() +
             std::to_string(rng.Below(200)) + "\r\n";
    } else {
      line = "【" + std::string(rng.Pick(kSpeakers)) + "】「" + std::string(rng.Pick(kPhrases));
      for (unsigned k = rng.Below(3); k > 0; --k) line += "、" + std::string(rng.Pick(kPhrases));
      line += rng.Below(4) == 0 ? "……」\r\n" : "。」\r\n";
    }
    Put(out, Cp932(line));
  }
  out.resize(size);
}

// Fixed-size records: ids, small numbers, zero fields and a padded name.
void Table(Rng& rng, std::vector<uint8_t>& out, size_t size) {
  const unsigned stride = 16 + 4 * rng.Below(8);
  uint32_t id = rng.Below(1000);
  while (out.size() < size) {
    const size_t start = out.size();
    Put32(out, id++);
    Put16(out, rng.Below(4) * 100);
    Put16(out, rng.Below(16));
    const std::string name = Cp932(rng.Pick(kWords));
    Put(out, name);
    while (out.size() < start + stride) out.push_back(rng.Below(24) == 0 ? static_cast<uint8_t>(rng.Below(256)) : 0);
  }
  out.resize(size);
}

// A 24-bit picture drawn in flat colours: each row repeats the one above
// with a few changed spans, as artwork does.
void Picture(Rng& rng, std::vector<uint8_t>& out, size_t size) {
  Put(out, "BM");
  Put32(out, static_cast<uint32_t>(size));
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  const unsigned width = 32 * (1 + rng.Below(20));
  Put32(out, width);
  Put32(out, static_cast<uint32_t>(size / (width * 3) + 1));
  Put16(out, 1);
  Put16(out, 24);
  while (out.size() < 54) out.push_back(0);
  uint8_t palette[16][3];
  for (auto& colour : palette) {
    for (auto& c : colour) c = static_cast<uint8_t>(rng.Below(256));
  }
  std::vector<uint8_t> row(width * 3);
  for (size_t x = 0; x < width;) {
    const uint8_t* colour = palette[rng.Below(16)];
    for (unsigned run = 1 + rng.Below(40); run > 0 && x < width; --run, ++x) std::memcpy(&row[x * 3], colour, 3);
  }
  const unsigned changes = 1 + rng.Below(6);  // spans redrawn per row: the picture's detail
  while (out.size() < size) {
    for (unsigned k = 0; k < changes; ++k) {
      const uint8_t* colour = palette[rng.Below(16)];
      size_t x = rng.Below(width);
      for (unsigned run = 1 + rng.Below(24); run > 0 && x < width; --run, ++x) std::memcpy(&row[x * 3], colour, 3);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  out.resize(size);
}

// 16-bit PCM: tones with a noisy tail, and silence between phrases.
void Sound(Rng& rng, std::vector<uint8_t>& out, size_t size) {
  Put(out, "RIFF");
  Put32(out, static_cast<uint32_t>(size - 8));
  Put(out, "WAVEfmt ");
  Put32(out, 16);
  Put16(out, 1);
  Put16(out, 1);
  Put32(out, 22050);
  Put32(out, 44100);
  Put16(out, 2);
  Put16(out, 16);
  Put(out, "data");
  Put32(out, static_cast<uint32_t>(size - 44));
  const unsigned period = 20 + rng.Below(200);
  for (uint32_t t = 0; out.size() < size; ++t) {
    const unsigned phase = (t / 4096) % 4;
    int v = 0;
    if (phase == 1) v = static_cast<int>(6000 * std::sin(6.283185307 * (t % period) / period));
    if (phase == 2) v = static_cast<int>(rng.Below(512)) - 256;
    Put16(out, static_cast<uint16_t>(v));
  }
  out.resize(size);
}

void Random(Rng& rng, std::vector<uint8_t>& out, size_t size) {
  while (out.size() < size) out.push_back(static_cast<uint8_t>(rng.Next() >> 56));
}

// A program file: header, code made of recurring instruction sequences,
// string tables, zero padding, and a picture resource.
void Program(Rng& rng, std::vector<uint8_t>& out, size_t size) {
  Put(out, "MZ");
  while (out.size() < 0x80) out.push_back(0);
  Put(out, std::string_view("PE\0\0L\x01\x04\0", 8));
  while (out.size() < 0x400) out.push_back(0);
  static constexpr std::string_view kOps[] = {"\x55\x8B\xEC", "\x8B\x45", "\x89\x45", "\xE8", "\xFF\x15",
                                              "\x83\xC4", "\x5D\xC3", "\x6A\x00", "\x50", "\x8D\x4D"};
  const size_t code = size / 3;
  while (out.size() < code) {
    if (out.size() > 0x800 && rng.Below(2) == 0) {
      // A sequence seen before, with a different call target.
      const size_t from = out.size() - 16 - rng.Below(2000);
      for (unsigned k = 0; k < 8 + rng.Below(24); ++k) out.push_back(out[from + k]);
      Put32(out, rng.Below(1u << 20));
      continue;
    }
    Put(out, rng.Pick(kOps));
    out.push_back(static_cast<uint8_t>(rng.Below(8) == 0 ? rng.Below(256) : 4 * rng.Below(8)));
  }
  while (out.size() % 512) out.push_back(0);
  const size_t strings = out.size() + size / 6;
  while (out.size() < strings && out.size() < size) {
    Put(out, Cp932(std::string(rng.Pick(kWords)) + "の" + std::string(rng.Pick(kWords))));
    out.push_back(0);
    Put(out, rng.Pick(kAsciiStems));
    Put(out, std::string_view("Window\0\0", 8));
  }
  while (out.size() % 4096) out.push_back(0);
  std::vector<uint8_t> rest;
  if (out.size() < size) Picture(rng, rest, size - out.size());
  out.insert(out.end(), rest.begin(), rest.end());
  out.resize(size);
}

void Fill(Kind kind, Rng& rng, std::vector<uint8_t>& out, size_t size) {
  switch (kind) {
    case Kind::kText: return Text(rng, out, size);
    case Kind::kTable: return Table(rng, out, size);
    case Kind::kPicture: return Picture(rng, out, size);
    case Kind::kSound: return Sound(rng, out, size);
    case Kind::kRandom: return Random(rng, out, size);
  }
}

size_t Cp932Length(std::string_view utf8) { return Cp932(utf8).size(); }

}  // namespace

std::vector<DemoFile> MakeDemoPatch(const std::vector<uint8_t>& gameProgram) {
  Rng rng(0x5EED2600);
  std::vector<DemoFile> files;
  files.push_back({"Config02.exe", {}});
  Program(rng, files.back().bytes, 233472);
  files.push_back({"Game02.exe", {}});
  Program(rng, files.back().bytes, kLargest);
  if (!gameProgram.empty() && gameProgram.size() <= kLargest) {
    std::copy(gameProgram.begin(), gameProgram.end(), files.back().bytes.begin());
  }
  files.push_back({"version.txt", {'1', '.', '2', '6', '0', '\r', '\n'}});

  // Sizes of the 280 folder files: spread evenly on a log scale from 40
  // bytes to about 600 KB, then scaled so that all 283 files add up to kTotal.
  std::vector<double> weights;
  double sum = 0;
  for (int i = 0; i < 280; ++i) {
    weights.push_back(std::exp(3.7 + 9.6 * (rng.Below(10000) / 10000.0)));
    sum += weights.back();
  }
  const uint64_t fixed = files[0].bytes.size() + files[1].bytes.size() + 7;
  std::vector<size_t> sizes;
  uint64_t assigned = 0;
  for (double w : weights) {
    sizes.push_back(std::max<size_t>(40, static_cast<size_t>(w * (kTotal - fixed) / sum)));
    assigned += sizes.back();
  }
  // Put the rounding difference on the biggest folder file.
  size_t biggest = 0;
  for (size_t i = 1; i < sizes.size(); ++i) {
    if (sizes[i] > sizes[biggest]) biggest = i;
  }
  sizes[biggest] = static_cast<size_t>(static_cast<int64_t>(sizes[biggest]) +
                                       static_cast<int64_t>(kTotal - fixed) - static_cast<int64_t>(assigned));

  std::set<std::string> taken;
  for (int i = 0; i < 280; ++i) {
    // "表示" holds 140 names with double-byte characters; "data" holds 75 of
    // them and 65 plain ASCII names.
    const bool japaneseFolder = i < 140;
    const bool ascii = !japaneseFolder && i >= 140 + 75;
    const std::string folder = japaneseFolder ? "表示/" : "data/";
    const Shape& shape = kShapes[rng.Below(std::size(kShapes))];
    if (shape.kind == Kind::kRandom && sizes[i] > 100000) std::swap(sizes[i], sizes[(i + 1) % 280]);
    std::string path;
    do {
      const std::string stem = ascii ? std::string(rng.Pick(kAsciiStems)) + "_" : std::string(rng.Pick(kWords));
      path = folder + stem + std::to_string(rng.Below(ascii ? 1000 : 100)) + std::string(shape.extension);
      // Record names must be 10..24 bytes in CP932.
    } while (Cp932Length(path) < 10 || Cp932Length(path) > 24 || !taken.insert(path).second);
    files.push_back({path, {}});
    Fill(shape.kind, rng, files.back().bytes, sizes[i]);
  }
  return files;
}

}  // namespace packer
