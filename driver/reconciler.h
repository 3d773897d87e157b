// Listing directories whose contents the events do not tell: a directory
// made while no watch was on it, one moved in from outside the drives, all
// of them after the kernel lost events, one whose watch the kernel refused.
//
// The program applies reports in order, so a listing is only right at one
// place in the stream of events: where the disk was what the listing saw.
// Listings therefore go in rounds between two marks of the stream (see
// TBarrierFolder):
//   1. A mark is placed. When the reader reaches it, everything that
//      happened before it has been read and reported; the directories are
//      opened by their labels, checked to be the ones the model has there,
//      listed, and reported at this place: a wildcard deletion of the files
//      that are gone (the program tests the disk when it applies it), then
//      a creation of every entry.
//   2. Once the program has handled those reports, a second mark is placed.
//   3. Until the reader reaches it, every event is looked at: one that
//      changed the subdirectories of a listed directory, or the path that
//      leads to it, happened while the listing or the program's test of the
//      disk was under way, so either may be wrong. That directory is listed
//      again in a later round. (A file's event, read after the listing,
//      tells what became of the file whatever the listing saw.) For the others, the subdirectories
//      the model had there and the listing had not are reported gone, at the second mark: nothing
//      has changed them since the first.
// A directory found where the model has another, or found where the model
// has it elsewhere, is most likely one that events still to be read move:
// it is left to the next round, and set right only if the events do not.
// So a listing never runs ahead of the events.
//
// When the disk stops changing, the last round of each directory sees it
// as it is, so the tree converges on the disk; it may be late, never wrong
// once it has caught up. Without a mark folder, listings are reported at
// once and not checked.
//
// After the program loaded its tree from its file, the tree may differ
// from the disk anywhere. Then every directory is walked once in the
// rounds instead of being placed at start (BeginComparison); it is
// identified as it is listed, and its listing is reported whole in one
// record (VXD_CODE_LISTING) for the program to compare with its tree.
// Unchanged at the second mark, it is reported so (the round's all in one
// report), and the program removes the subdirectories of its tree the
// listing did not have; a changed one is walked again. Whatever appears meanwhile is walked too,
// and the end of the walk is reported. The program tests nothing on the
// disk to apply the walk's reports, so a round of them is closed as soon
// as it is listed, and the next one listed while the program compares the
// last.
//
// Used by the device's reader thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "driver/barrier.h"
#include "driver/directory_model.h"
#include "driver/report_sink.h"
#include "platform/file_system.h"
#include "platform/files/linux_file_system.h"

namespace varnoke::driver {

// How a source knows a directory it has open.
class TIdentifier {
 public:
  virtual ~TIdentifier() = default;
  // The identity of the directory open as fd (a watch on it, added when it
  // had none; or its handle). Empty when there is none; refused is then set
  // when the kernel refused it for want of resources.
  virtual std::string Identify(int fd, bool& refused) = 0;
  // Gives up an identity the model let go of.
  virtual void Release(const std::string& identity) = 0;
};

class TReconciler {
 public:
  // All are borrowed and must outlive this object.
  TReconciler(TDirectoryModel& model, TReportSink& sink, platform::TLinuxFileSystem& files,
              TIdentifier& identifier, TBarrierFolder& marks)
      : model_(model), sink_(sink), files_(files), identifier_(identifier), marks_(marks) {}

  // Places every directory at and below the roots (labels "C:\") in the
  // model with its identity, reporting nothing: the tree was just scanned.
  void PlaceTrees(const std::vector<std::string>& roots);

  // Walks every directory at and below the roots in the rounds, comparing
  // each with the program's tree; the first round starts when the reader
  // has drained the kernel's queue (OnDrained). Once the sink says the
  // comparison is called off, the rest of the walk only identifies the
  // directories, reporting nothing but its end.
  void BeginComparison(const std::vector<std::string>& roots);

  // The directory at label is to be listed (it is added to the model).
  void Request(const std::string& label) { model_.Mark(label); }

  // An event about the entry called name (a directory or not) of the
  // directory at parent, whose identity is given; to be called before the
  // model follows the event. A directory listed in the round under way is
  // listed again when the event changes its subdirectories or the path that
  // leads to it; file events need not spoil a listing: each tells what
  // became of its file after it. True when the tree may not hold that
  // directory's files as the event found them (a rename out of it would
  // then find nothing to rename): the directory waits to be listed, or was
  // listed in the round under way, whose test of the disk may have run
  // ahead of this event.
  bool Observe(const std::string& parent, const std::string& identity, std::string_view name,
               bool directory);

  // The kernel's queue has been read out.
  void OnDrained();
  // The mark with this number was read.
  void OnMark(std::uint64_t number);
  // The device woke the reader: reports may have been handled.
  void OnWake();
  // The kernel lost events: a round under way proves nothing, and every
  // directory is to be listed.
  void OnOverflow();

  // Directories waiting to be listed, and one more while a round is under
  // way: zero when the tree has caught up with every listing asked for.
  std::size_t Pending() const { return model_.MarkedCount() + (phase_ == TPhase::Idle ? 0 : 1); }

  // Lets go of an identity, passing by the one to keep.
  TDirectoryModel::TRelease Releaser(std::string keep = {});

 private:
  enum class TPhase { Idle, Opening, Settling, Closing };
  // A directory listed in the round under way.
  struct TTarget {
    std::string Label;                // as it was at the opening mark
    std::vector<std::string> Absent;  // subdirectories the model had there, the listing not
    bool Spoiled = false;
    bool Walked = false;    // listed by the walk at start
    bool Compared = false;  // reported whole for the comparison
  };

  void StartRound();
  void RunListings();
  void CheckHandled();
  void EndRound();
  void ClearWindow();
  // Lists the directory; the weight of what it reported (reports, or
  // entries of a reported listing) goes to weight.
  void List(const std::string& label, std::uint64_t& weight);
  // Reports what the listing of target holds (its subdirectories are
  // present): for the comparison, all of it as one report; otherwise a
  // wildcard deletion and a creation of each entry, unless the walk only
  // identifies. True for the latter: the listing was a live one.
  bool ReportListing(const std::string& label, std::size_t target,
                     const std::vector<std::string>& present, std::uint64_t& weight);
  // Identifies a subdirectory found by a listing, live or the walk's.
  void IdentifyChild(const std::string& label, bool live);
  void EndWalkWhenDone();
  // Puts off a directory to the next round, when the events read by then
  // may explain what was found; false when it was put off once already.
  bool PutOff(const std::string& label);
  // True when something is there that could not be opened: a mount that is
  // no fixed disk, a symbolic link now, a folder that may not be read.
  bool IsThere(const std::string& label) const;
  void SetIdentity(const std::string& label, const std::string& identity, bool refused);
  std::size_t AddTarget(const std::string& label, const std::string& identity);
  void Spoil(std::size_t target);

  TDirectoryModel& model_;
  TReportSink& sink_;
  platform::TLinuxFileSystem& files_;
  TIdentifier& identifier_;
  TBarrierFolder& marks_;

  TPhase phase_ = TPhase::Idle;
  std::uint64_t openingMark_ = 0;
  std::uint64_t closingMark_ = 0;
  std::uint64_t lastReport_ = 0;
  // The round's directories, by label and identity, and the paths that
  // lead to them ("C:\A", "C:\A\B" for "C:\A\B\"), as at the opening mark.
  std::vector<TTarget> targets_;
  std::unordered_map<std::string, std::size_t> targetByLabel_;
  std::unordered_map<std::string, std::size_t> targetByIdentity_;
  std::unordered_set<std::string> windowPaths_;
  // Put off to the next round; and those put off once already.
  std::vector<std::string> putOff_;
  std::unordered_set<std::string> putOffBefore_;
  platform::TDirectoryListing listing_;
  bool comparing_ = false;  // the walk's listings are reported whole
  bool afresh_ = true;      // the next open goes from the drive's root
  bool testsDisk_ = false;  // the round made reports the program tests the disk for
  // The reports made before the last round's listings.
  std::uint64_t listedFrom_ = 0;
};

}  // namespace varnoke::driver
