"""Read mzXML 2.0 and 2.1 peak-list files through the orvo plug-in."""

import datetime
import os
from typing import (Any, Dict, Iterator, List, Literal, Optional, Sequence, SupportsIndex, Tuple,
                    Union)

import numpy as np
import numpy.typing as npt

__version__: str

class Error(Exception):
    """A failure the plug-in or the host reported.

    str(e) is the whole sentence, naming the cause and, for the plug-in's
    errors, ending with the status code in hex: "(status 0x80040802)"."""

    code: Optional[int]
    message_id: Optional[int]
    message_name: Optional[str]
    arguments: Tuple[str, ...]
    file: Optional[str]
    sentence: str

class MissingFileError(Error, FileNotFoundError):
    """The path does not exist."""

class FolderError(Error, IsADirectoryError):
    """The path is a folder."""

class UnreadableFileError(Error, PermissionError):
    """The file may not be read."""

# A scan's header values (label, parent_label, ms_level, polarity, rt_seconds,
# precursor_mz, charge, tic, position, scan_number) and what its tags state
# (peaks_count as declared, base_peak_mz, base_peak_intensity,
# precursor_intensity, collision_energy, filter_line), None where the file
# gives none, with its mz and intensity arrays.
Scan = Dict[str, Any]

class ScanIterator(Iterator[Scan]):
    def __iter__(self) -> "ScanIterator": ...
    def __next__(self) -> Scan: ...

class Run:
    """An open mzXML file; make one with orvo.open()."""

    def __enter__(self) -> "Run": ...
    def __exit__(self, *args: Any) -> None: ...
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    @property
    def path(self) -> os.PathLike[str]: ...
    @property
    def info(self) -> Dict[str, Optional[Union[str, List[str], bool, int, datetime.datetime]]]: ...
    @property
    def scans(self) -> Dict[str, Union[npt.NDArray[Any], np.ma.MaskedArray[Any, Any]]]: ...
    def spectrum(self, label: SupportsIndex) -> Tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]: ...
    def spectrum_info(self, label: SupportsIndex) -> Dict[str, Union[str, int]]: ...
    def __iter__(self) -> ScanIterator: ...
    def spectra(
        self,
        ms_level: Optional[int] = None,
        *,
        errors: Literal["raise", "skip", "empty"] = "raise",
    ) -> ScanIterator:
        """Each scan with its arrays, in label order, optionally of one MS level.

        errors: "raise" (the default) raises a spectrum's orvo.Error and ends
        the loop; "skip" leaves the scan out; "empty" gives it with empty
        arrays. Skipped or emptied labels are added to skipped_labels."""
    @property
    def skipped_labels(self) -> List[int]:
        """Labels whose spectra spectra(errors="skip" or "empty") could not
        read, ascending, each once."""
    def __len__(self) -> int: ...
    @property
    def events(self) -> List[Tuple[int, int, str]]: ...
    @property
    def events_dropped(self) -> int: ...

def open(
    path: Union[str, os.PathLike[str]],
    *,
    centroided: Optional[bool] = None,
    first_label: int = 1,
    strict: bool = False,
    temp_dir: Optional[Union[str, os.PathLike[str]]] = None,
) -> Run: ...
def repair(
    source: Union[str, os.PathLike[str]], target: Union[str, os.PathLike[str]]
) -> str: ...
def to_mzml(
    source: Union[str, os.PathLike[str]],
    target: Union[str, os.PathLike[str]],
    *,
    zlib: bool = False,
    numpress: Optional[Union[str, Sequence[str]]] = None,
    mz_precision: Optional[Literal[64]] = None,
    verify: bool = False,
    ms_level: Optional[Union[int, Sequence[int]]] = None,
    centroided: Optional[bool] = None,
    strict: bool = False,
    temp_dir: Optional[Union[str, os.PathLike[str]]] = None,
    threads: Optional[int] = None,
) -> Dict[str, Union[str, int, bool, os.PathLike[str]]]:
    """Writes source as indexed mzML 1.1, byte for byte as orvo-host mzml
    does; returns path, scans, spectra, bytes, sha1 (of the whole file),
    checksum (its fileChecksum), source_sha1 and verified. Not in builds
    without expat or MS-Numpress."""
