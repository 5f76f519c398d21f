#!/usr/bin/perl
# Makes a deterministic synthetic tree for the benchmark.
#
#   make-tree.pl mixed ROOT FILES   FILES files in FILES/10 directories: about 2% named to fit
#                                   *.tmp, ~* or *.bak (a few kept by the exception keep.*),
#                                   temp/TMP/Temporary directories, hidden files, names with
#                                   blanks and "(", a few names that are not UTF-8, and symbolic
#                                   links (one a loop, none of them fitting a mask or lying below
#                                   a temporary directory, so that find -type f counts the same).
#   make-tree.pl junk ROOT FILES    FILES files named *.tmp spread over FILES/10 directories,
#                                   with one keep.tmp per directory; for the deletion benchmark.
use strict;
use warnings;

my ($mode, $root, $files) = @ARGV;
die "usage: make-tree.pl mixed|junk ROOT FILES\n" unless $mode && $root && $files;
die "$root exists\n" if -e $root;

# A small linear congruential generator: the same tree on every machine and every run.
my $seed = 20240607;
sub rnd { my ($n) = @_; $seed = ($seed * 1103515245 + 12345) % 2147483648; return $seed % $n; }

mkdir $root or die "$root: $!\n";
my $dirCount = int($files / 10) || 1;
my @dirs = ($root);
my @underTemp = (0);
my %hasTemp;
my @tempNames = ('temp', 'TMP', 'Temporary');

# Each new directory hangs below a random earlier one: a tree about ten levels deep.
for my $i (1 .. $dirCount - 1) {
  my $parent = rnd(scalar @dirs);
  my $name;
  my $temp = 0;
  if ($mode eq 'mixed' && rnd(200) == 0 && !$hasTemp{$parent}) {
    $name = $tempNames[rnd(3)];
    $hasTemp{$parent} = 1;
    $temp = 1;
  } else {
    $name = sprintf('dir%05d', $i);
    $name = "My Folder $i" if $mode eq 'mixed' && rnd(50) == 0;
  }
  my $path = "$dirs[$parent]/$name";
  mkdir $path or die "$path: $!\n";
  push @dirs, $path;
  push @underTemp, ($temp || $underTemp[$parent]) ? 1 : 0;
}

sub touch {
  my ($path, $size) = @_;
  open(my $fh, '>', $path) or die "$path: $!\n";
  print $fh ('x' x $size) if $size;
  close $fh;
}

if ($mode eq 'junk') {
  for my $i (0 .. $files - 1) {
    touch(sprintf('%s/junk%07d.tmp', $dirs[$i % @dirs], $i), 0);
  }
  touch("$_/keep.tmp", 0) for @dirs;
  exit 0;
}

my $links = 0;
for my $i (0 .. $files - 1) {
  my $d = rnd(scalar @dirs);
  my $dir = $dirs[$d];
  my $kind = rnd(1000);
  my ($name, $size) = (sprintf('file%07d.dat', $i), 0);
  if ($kind < 7) {
    ($name, $size) = (sprintf('scratch%07d.tmp', $i), 1 + rnd(4000));
  } elsif ($kind < 11) {
    ($name, $size) = (sprintf('REPORT%07d.TMP', $i), 1 + rnd(4000));
  } elsif ($kind < 15) {
    ($name, $size) = (sprintf('~lock%07d.doc', $i), 1 + rnd(100));
  } elsif ($kind < 19) {
    ($name, $size) = (sprintf('backup%07d.Bak', $i), 1 + rnd(20000));
  } elsif ($kind < 20) {
    ($name, $size) = (sprintf('Copy (2) of old%07d.bak', $i), 1 + rnd(100));
  } elsif ($kind < 21) {
    ($name, $size) = (sprintf('keep%07d.tmp', $i), 10);    # an exception keeps it
  } elsif ($kind < 41) {
    $name = sprintf('.hidden%07d', $i);
  } elsif ($kind < 51) {
    $name = sprintf('my notes (%d).txt', $i);
  } elsif ($kind < 52 && $i % 7 == 0) {
    ($name, $size) = (sprintf("bad\xff%07d.tmp", $i), 7);    # not UTF-8
  } elsif ($kind < 53 && $i % 5 == 0) {
    $name = sprintf("caf\xe9%07d.txt", $i);                  # Latin-1, not UTF-8
  } elsif ($kind < 55 && !$underTemp[$d]) {
    $links++;
    if ($links == 1) {
      symlink('..', "$dir/loop") or die "$dir/loop: $!\n";
    } elsif ($links % 3 == 0) {
      symlink('/', sprintf('%s/root-link%07d', $dir, $i)) or die "$dir: $!\n";
    } else {
      symlink(sprintf('file%07d.dat', $i - 1), sprintf('%s/link%07d', $dir, $i)) or die "$!\n";
    }
    next;
  }
  touch("$dir/$name", $size);
}
