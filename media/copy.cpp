// The copy engine: copying onto disks in pieces and reading back from them.
#include "media/copy.h"

#include "media/copy_names.h"
#include "sys/binary_file.h"
#include "sys/drive_providers.h"
#include "sys/files.h"
#include "sys/paths.h"
#include "sys/text_file.h"
#include "sys/volumes.h"

// The transfer mode the options ask for.
static CopyMode copy_mode_of(const CopyOptions& options) {
    if (options.instantiate) return COPY_INSTANTIATE;
    if (options.decompress) return COPY_DECOMPRESS;
    return options.compress ? COPY_COMPRESS : COPY_PLAIN;
}

// True when the options write pieces (compressing, or writing onto disks)
// rather than read (a plain copy, or reading back from disks).
static bool copy_writes_pieces(const CopyOptions& options) {
    CopyMode mode = copy_mode_of(options);
    if (mode == COPY_COMPRESS) return true;
    return mode == COPY_PLAIN && (options.start_disk != 0 || options.disk_count > 1);
}

ResultCode copy_file(std::string_view source, std::string_view destination,
                     const CopyOptions& options) {
    if (copy_writes_pieces(options)) return copy_to_disks(source, destination, options);
    return copy_from_disks(source, destination, options);
}

ResultCode copy_file_replacing(std::string_view source, std::string_view destination,
                               const CopyOptions& options) {
    // A disk behind a drive provider takes no renames: the file is written
    // in its place there.
    ProvidedPath on;
    if (drive_provider_find(destination, &on)) return copy_file(source, destination, options);
    BinaryFile* made = nullptr;
    std::string temporary;
    ResultCode rc = copy_file_aside(source, destination, options, &made, &temporary);
    if (rc != RC_OK) return rc;
    return copy_aside_settle(made, temporary, destination, true);
}

ResultCode copy_file_aside(std::string_view source, std::string_view destination,
                           const CopyOptions& options, BinaryFile** made, std::string* temporary) {
    *made = nullptr;
    *temporary = text_file_temporary_path(destination);
    CopyOptions aside = options;
    // A file read from a drive provider's disk takes its times by path,
    // which a file without a name does not have.
    ProvidedPath on;
    if (!drive_provider_find(source, &on)) {
        aside.unnamed = made;
        aside.unnamed_place = std::string(destination);
    }
    ResultCode rc = copy_file(source, *temporary, aside);
    if (rc == RC_OK) return RC_OK;
    (void)copy_aside_settle(*made, *temporary, destination, false);
    *made = nullptr;
    return rc;
}

ResultCode copy_aside_settle(BinaryFile* made, const std::string& temporary,
                             std::string_view destination, bool keep) {
    if (!made) {
        ResultCode rc = keep ? file_rename(temporary, destination) : RC_OK;
        if (!keep || rc != RC_OK) (void)file_delete(temporary);
        return rc;
    }
    // A file without a name vanishes when closed, so it is named first; a
    // failure of the close that follows leaves the new file in place.
    ResultCode rc = keep ? binary_file_place(made) : RC_OK;
    ResultCode closed = binary_file_close(made);
    return rc != RC_OK ? rc : closed;
}

static DiskRequest disk_request(const CopyOptions& options) {
    return DiskRequest{options.label_base, options.label_text, options.prompt,
                       options.user,       options.take,       options.floppy_root};
}

static ResultCode job_start(CopyJob* job, const CopyOptions& options) {
    ResultCode rc = copy_job_setup(job, copy_mode_of(options));
    job->unnamed = options.unnamed;
    job->unnamed_place = options.unnamed_place;
    job->progress = options.progress;
    job->cancel = options.cancel;
    job->user = options.user;
    instantiation_init(&job->instantiation, options.lookup, options.lookup_context,
                       options.lookup_context2);
    return rc;
}

// `path` moved onto the floppy drive: its directory, base name and extension
// under the floppy root.
static std::string on_floppy(const CopyOptions& options, std::string_view path) {
    PathParts parts = path_split(path);
    std::string directory = parts.absolute.empty() ? parts.relative : parts.absolute;
    if (path_has_drive(directory)) directory.erase(0, 2);
    while (!directory.empty() && directory[0] == '\\') directory.erase(0, 1);
    return path_join(*options.floppy_root, directory, parts.base, parts.extension);
}

// ---- Writing pieces ----

// The bytes piece `piece` (from 0) may take.
static ResultCode piece_budget(const CopyOptions& options, uint32_t piece, uint32_t* budget) {
    *budget = COPY_UNLIMITED;
    if (!options.piece_sizes.empty()) {
        *budget = options.piece_sizes[piece];
        return RC_OK;
    }
    if (options.start_disk == 0) return RC_OK;
    uint32_t free_bytes = 0, cluster = 0;
    ResultCode rc = volume_space(*options.floppy_root, &free_bytes, &cluster);
    if (rc != RC_OK) return rc;
    *budget = free_bytes > options.slop_size ? free_bytes - options.slop_size : 0;
    return RC_OK;
}

// Writes one piece to `path`; the last piece must take the rest of the input.
static ResultCode piece_write(CopyJob* job, const CopyOptions& options, std::string_view source,
                              const std::string& path, uint32_t piece, bool last) {
    uint32_t budget = 0;
    ResultCode rc = piece_budget(options, piece, &budget);
    if (rc == RC_OK) rc = copy_job_open_destination(job, path, false);
    if (rc != RC_OK) return rc;
    bool ended = false;
    rc = copy_job_run(job, budget, &ended);
    if (rc == RC_OK && last && !ended) {
        bool left = false;
        rc = copy_job_input_left(job, &left);
        if (rc == RC_OK && left) rc = RC_UNABLE_TO_WRITE;  // the pieces cannot hold it all
    }
    bool times_set = false;
    ResultCode closed =
        copy_job_close_destination(job, last && rc == RC_OK, rc == RC_OK, &times_set);
    if (rc == RC_OK) rc = closed;
    if (rc != RC_OK) {
        if (job->mode == COPY_COMPRESS) file_delete(path);
        return rc;
    }
    return times_set ? RC_OK : file_copy_times(source, path);
}

static ResultCode pieces_write(CopyJob* job, const CopyOptions& options, std::string_view source,
                               const std::string& destination, uint32_t pieces) {
    for (uint32_t piece = 0; piece < pieces; ++piece) {
        bool last = piece + 1 == pieces;
        std::string path = destination;
        ResultCode rc = RC_OK;
        if (pieces > 1) rc = copy_piece_name(destination, piece + 1, last, &path);
        if (rc == RC_OK && piece > 0 && options.start_disk != 0)
            rc = copy_ask_for_disk(disk_request(options), options.start_disk + piece, true, false);
        if (rc == RC_OK) rc = piece_write(job, options, source, path, piece, last);
        if (rc != RC_OK) return rc;
    }
    return RC_OK;
}

ResultCode copy_to_disks(std::string_view source, std::string_view destination,
                         const CopyOptions& options) {
    uint32_t pieces = options.disk_count > 0 ? options.disk_count : 1;
    if (!options.piece_sizes.empty() && options.piece_sizes.size() < pieces) return RC_NO_OBJECT;
    std::string target =
        options.start_disk != 0 ? on_floppy(options, destination) : std::string(destination);
    if (options.compress && !options.named_as_given) target = copy_compressed_name(target);
    ResultCode rc = copy_pieces_check(target, pieces);
    if (rc != RC_OK) return rc;

    CopyJob job;
    rc = job_start(&job, options);
    if (pieces > 1 || options.start_disk != 0) job.unnamed = nullptr;
    if (rc == RC_OK && options.start_disk != 0)
        rc = copy_ask_for_disk(disk_request(options), options.start_disk, true, false);
    if (rc == RC_OK) rc = copy_job_open_source(&job, source);
    if (rc == RC_OK) rc = pieces_write(&job, options, source, target, pieces);
    copy_job_release(&job);
    return rc;
}

// ---- Reading pieces ----

// Where a read stands: the source's name on the disks and the disk in use.
struct ReadPlace {
    std::string name;    // the source's name (compressed when expanding)
    std::string opened;  // the path the current piece was opened under
    uint32_t disk = 0;
    uint32_t piece = 1;
    bool split = false;
};

// Opens the first piece: the file itself, or, on disks, piece 1 of it.
static ResultCode first_open(CopyJob* job, const CopyOptions& options, ReadPlace* place) {
    place->opened = place->name;
    ResultCode rc = copy_job_open_source(job, place->opened);
    if (rc != RC_FILE_NOT_FOUND || options.start_disk == 0) return rc;
    if (copy_piece_name(place->name, 1, false, &place->opened) != RC_OK) return RC_FILE_NOT_FOUND;
    place->split = true;
    return copy_job_open_source(job, place->opened);
}

// Opens the next piece on the next disk; *last is set when it is the one
// named with "0".
static ResultCode next_open(CopyJob* job, const CopyOptions& options, ReadPlace* place,
                            bool* last) {
    DiskRequest request = disk_request(options);
    copy_job_close_source(job);  // a drive changes disks only when none of its files is open
    ++place->piece;
    ++place->disk;
    ResultCode rc = copy_ask_for_disk(request, place->disk, false, false);
    if (rc != RC_OK) return rc;
    std::string numbered;
    *last = copy_piece_name(place->name, place->piece, false, &numbered) != RC_OK ||
            copy_job_open_source(job, numbered) != RC_OK;
    if (!*last) {
        place->opened = numbered;
        return RC_OK;
    }
    copy_piece_name(place->name, place->piece, true, &place->opened);
    rc = copy_ask_for_disk(request, place->disk, false, false);
    if (rc == RC_OK) rc = copy_job_open_source(job, place->opened);
    if (rc == RC_FILE_NOT_FOUND && options.failure_detail && !numbered.empty()) {
        PathParts piece = path_split(numbered);
        *options.failure_detail = "piece " + path_join("", "", piece.base, piece.extension) +
                                  " missing from disk " + std::to_string(place->disk);
    }
    return rc;
}

static ResultCode pieces_read(CopyJob* job, const CopyOptions& options, ReadPlace* place) {
    bool ended = false;
    ResultCode rc = copy_job_run(job, COPY_UNLIMITED, &ended);
    bool last = !place->split;
    while (rc == RC_OK && !last) {
        rc = next_open(job, options, place, &last);
        if (rc == RC_OK) rc = copy_job_run(job, COPY_UNLIMITED, &ended);
    }
    if (rc == RC_OK) {
        rc = copy_job_finish_input(job);
        if (rc != RC_OK && options.failure_detail) *options.failure_detail = "stream ends early";
    }
    return rc;
}

ResultCode copy_from_disks(std::string_view source, std::string_view destination,
                           const CopyOptions& options) {
    CopyJob job;
    ReadPlace place;
    place.disk = options.start_disk;
    place.name = options.start_disk != 0 ? on_floppy(options, source) : std::string(source);
    ResultCode rc = job_start(&job, options);
    if (options.start_disk != 0 || options.append) job.unnamed = nullptr;
    if (job.mode == COPY_DECOMPRESS) place.name = copy_compressed_name(place.name);
    if (rc == RC_OK && options.start_disk != 0)
        rc = copy_ask_for_disk(disk_request(options), options.start_disk, false, false);
    if (rc == RC_OK) rc = first_open(&job, options, &place);
    if (rc == RC_OK) rc = copy_job_open_destination(&job, destination, options.append);
    if (rc == RC_OK) rc = pieces_read(&job, options, &place);
    bool times_set = false;
    if (rc == RC_OK) rc = copy_job_close_destination(&job, true, true, &times_set);
    if (rc == RC_OK && !times_set) rc = file_copy_times(place.opened, destination);
    uint64_t total = copy_job_written(&job);
    if (rc == RC_OK && options.progress && total > job.reported)
        options.progress(options.user, uint32_t(total - job.reported));
    copy_job_release(&job);
    return rc;
}
