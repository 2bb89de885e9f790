#pragma once
// Every fixed size, bound and time-out of the plug-in, in one place.
#include <cstddef>
#include <cstdint>

namespace korvo::limits {

// Settings files.
inline constexpr std::size_t kIniTextBuffer = 1024;      // texts read from INI files
inline constexpr std::size_t kModulePathBuffer = 2048;   // the library's file name
inline constexpr std::size_t kSiteSectionBuffer = 10000; // the NewsSites section in the dialog
inline constexpr std::size_t kDialogTextBuffer = 256;    // edit boxes and list entries of the dialog
// The dialog's boxes of the item-view texts (DateFormat, Include, Exclude,
// MarkNew): as much as a read of the INI file gives back.
inline constexpr std::size_t kDialogSettingBuffer = kIniTextBuffer;
inline constexpr std::size_t kSiteDeleteBuffer = 1024;   // a site name read back to delete it

// The log: Korvolog.txt grows to at most this many bytes; the line that
// would take it past them starts a new one, and the full one becomes
// Korvolog.old.txt.
inline constexpr std::uint64_t kMaxLogBytes = 1024u * 1024u;

// Results handed to the host.
inline constexpr std::size_t kResultBufferSize = 32768;  // 32767 text bytes and a zero byte

// A date as a meter shows it (DateFormat): a longer text is shown as the
// feed wrote it.
inline constexpr std::size_t kMaxDateTextBytes = 256;

// Download.
inline constexpr int kHttpPort = 80;
inline constexpr int kHttpsPort = 443;
inline constexpr int kMaxRedirects = 5;                  // hops followed after the first answer
inline constexpr int kTlsHandshakeTimeoutMs = 12000;     // after the connect time-out
inline constexpr int kReceiveChunk = 1024;
inline constexpr int kReceiveTimeoutMs = 12000;
inline constexpr int kConnectTimeoutMs = 12000;
inline constexpr std::size_t kMaxResponseBytes = 16u * 1024u * 1024u;  // also a body after decompression
inline constexpr int kMaxDownloadMs = 30000;
// A download worker with nothing to do ends after this long. On Windows a
// worker holds the library while it runs, so an idle one would keep a
// library that the host unloads (and loads again) from being unloaded.
inline constexpr int kWorkerIdleMs = 0;
// How long a shut-down waits for work that no cancel reaches but that ends
// on its own (the parse of a document of at most kMaxResponseBytes).
inline constexpr int kUncancellableWaitMs = 10000;

// Refresh.
inline constexpr unsigned kRetryDelaySeconds = 10;
inline constexpr int kDefaultUpdateInterval = 180;

// Documents handed to the XML parser.
inline constexpr int kMaxXmlDepth = 1000;
inline constexpr int kMaxXmlAttributes = 1000;
inline constexpr long kMaxXmlElements = 500000;
// TinyXML's work grows with more than those three: each node it makes
// walks up to the document, each attribute is compared with the earlier
// ones of its element. Mark-up nodes are all nodes but plain text.
inline constexpr long kMaxXmlNodes = 1000000;                // mark-up nodes of any kind
inline constexpr long long kMaxXmlNodeLevels = 10000000;     // their depths added up
inline constexpr long long kMaxXmlAttributePairs = 10000000; // per element k(k-1)/2, added up
inline constexpr long kMaxXmlAttributesInAll = 1000000;      // about 150 bytes each in the tree

// JSON Feed documents: objects and arrays nested deeper than this are
// refused (a feed needs four levels; extensions add a few). Their size is
// bounded by kMaxResponseBytes, as every document's is.
inline constexpr int kMaxJsonDepth = 64;

// Click.
inline constexpr std::size_t kMaxClickLinkBytes = 2048;

}  // namespace korvo::limits

namespace korvo {

// The bounds of one download; tests make them small.
struct DownloadLimits {
  int receiveTimeoutMs = limits::kReceiveTimeoutMs;
  int connectTimeoutMs = limits::kConnectTimeoutMs;
  int handshakeTimeoutMs = limits::kTlsHandshakeTimeoutMs;
  std::size_t maxResponseBytes = limits::kMaxResponseBytes;
  int maxDownloadMs = limits::kMaxDownloadMs;
};

}  // namespace korvo
