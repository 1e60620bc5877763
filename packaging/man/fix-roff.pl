#!/usr/bin/perl
# Finishes the roff that scdoc writes, for groff on a terminal:
# - the header names the version and the release date (not the day of the build);
# - no hyphenation (.TH turns it back on): options and paths must read as they are;
# - Chinese has no spaces between words, so groff could not break a Chinese sentence, and the line
#   breaks of the source would show as spaces: source lines that meet between two Chinese characters
#   are joined, and a zero-width break point (\:) goes between two characters where a line may break,
#   next to a Chinese one, but not before closing or after opening punctuation.
#   fix-roff.pl VERSION DATE < page.roff > finished.roff
use strict;
use warnings;
use utf8;

# ':utf8' rather than ':encoding(UTF-8)': perl-base alone has it (no Encode).
binmode STDIN,  ':utf8';
binmode STDOUT, ':utf8';

@ARGV == 2 or die "usage: fix-roff.pl VERSION DATE < page.roff > finished.roff\n";
my ($version, $date) = @ARGV;

my $cjk     = qr/[\p{Han}\x{3000}-\x{303F}\x{FF00}-\x{FFEF}\x{2018}\x{2019}\x{201C}\x{201D}\x{2026}]/;
my $closing = qr/[，。、；：！？）」』】》”’…,.;:!?)\]]/;
my $opening = qr/[（「『【《“‘(\[]/;

my @out;
my $literal = 0;
while (my $line = <STDIN>) {
    chomp $line;
    my $request = $line =~ /^[.']/;
    $literal = 1 if $line =~ /^\.nf\b/;
    $literal = 0 if $line =~ /^\.fi\b/;
    if (!$request && !$literal && @out && $out[-1] !~ /^[.']/ && $out[-1] =~ /$cjk\z/ && $line =~ /\A$cjk/) {
        $out[-1] .= $line;
        next;
    }
    if ($line =~ /^\.TH /) {
        # .TH "name" "section" "date" "source" "manual"
        $line =~ s/^(\.TH "[^"]*" "[^"]*") "[^"]*" "([^"]*)"/$1 "$date" "$2 $version"/
          or die "fix-roff.pl: unexpected header: $line\n";
        push @out, $line, '.nh';
        next;
    }
    push @out, $line;
}

$literal = 0;
for my $line (@out) {
    $literal = 1 if $line =~ /^\.nf\b/;
    $literal = 0 if $line =~ /^\.fi\b/;
    next if $literal || $line =~ /^[.']/;
    $line =~ s{(\S)(?=(\S))}{
        my ($a, $b) = ($1, $2);
        $a . ((($a =~ $cjk || $b =~ $cjk) && $a ne '\\' && $a !~ $opening && $b !~ $closing) ? '\\:' : '')
    }ge;
}
print "$_\n" for @out;
