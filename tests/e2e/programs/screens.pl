#!/usr/bin/perl
# Screens of the program scenarios, as tmux captures them with escape
# sequences (capture-pane -p -e).
#
#   screens.pl normalise <CAPTURE     the text, line-drawing in one form
#   screens.pl compare REF OTHER [KNOWN]
#
# normalise prints the text with every line-drawing character in one common
# form, so that a screen drawn with the alternate character set (SO/SI, as
# tmux keeps it) and one drawn with code page 437 box glyphs read the same.
# Double and heavy lines count as single lines: only the shape is compared.
#
# compare reads two normalised screens and prints the rows that differ; it
# exits 1 if any does.  KNOWN lists pairs of characters (reference, other)
# that are a known difference: a cell that differs only by such a pair does
# not count, and the number of such cells is printed as "known N".
use strict;
use warnings;
use utf8;
binmode STDIN, ':encoding(UTF-8)';
binmode STDOUT, ':encoding(UTF-8)';

# The alternate character set's letters and the glyph each one draws.
my %acs = (
    'j' => '┘', 'k' => '┐', 'l' => '┌', 'm' => '└', 'n' => '┼', 'q' => '─',
    'o' => '─', 'p' => '─', 'r' => '─', 's' => '─', 't' => '├', 'u' => '┤',
    'v' => '┴', 'w' => '┬', 'x' => '│', '`' => '◆', 'a' => '▒', 'f' => '°',
    'g' => '±', '~' => '·', ',' => '←', '+' => '→', '.' => '↓', '-' => '↑',
    'h' => '▒', 'i' => '§', '0' => '█', 'y' => '≤', 'z' => '≥', '{' => 'π',
    '|' => '≠', '}' => '£',
);

# Each line-drawing glyph by its shape.
my %shape;
sub shape { my ($common, @glyphs) = @_; $shape{$_} = $common for @glyphs; }
shape('─', qw(─ ━ ═ ╌ ╍ ┄ ┅ ┈ ┉));
shape('│', qw(│ ┃ ║ ╎ ╏ ┆ ┇ ┊ ┋));
shape('┌', qw(┌ ┍ ┎ ┏ ╒ ╓ ╔ ╭));
shape('┐', qw(┐ ┑ ┒ ┓ ╕ ╖ ╗ ╮));
shape('└', qw(└ ┕ ┖ ┗ ╘ ╙ ╚ ╰));
shape('┘', qw(┘ ┙ ┚ ┛ ╛ ╜ ╝ ╯));
shape('├', qw(├ ┝ ┞ ┟ ┠ ┡ ┢ ┣ ╞ ╟ ╠));
shape('┤', qw(┤ ┥ ┦ ┧ ┨ ┩ ┪ ┫ ╡ ╢ ╣));
shape('┬', qw(┬ ┭ ┮ ┯ ┰ ┱ ┲ ┳ ╤ ╥ ╦));
shape('┴', qw(┴ ┵ ┶ ┷ ┸ ┹ ┺ ┻ ╧ ╨ ╩));
shape('┼', qw(┼ ┽ ┾ ┿ ╀ ╁ ╂ ╃ ╄ ╅ ╆ ╇ ╈ ╉ ╊ ╋ ╪ ╫ ╬));
shape('◆', qw(◆ ♦));
shape('·', qw(· ∙));

sub normalise {
    my $alternate = 0;    # tmux carries the character set from line to line
    while (my $line = <STDIN>) {
        chomp $line;
        $line =~ s/\e\[[0-9;:?]*[ -\/]*[@-~]//g;
        my $text = '';
        for my $c (split //, $line) {
            if ($c eq "\x0e") { $alternate = 1; next; }
            if ($c eq "\x0f") { $alternate = 0; next; }
            $c = $acs{$c} if $alternate && exists $acs{$c};
            $c = $shape{$c} if exists $shape{$c};
            $text .= $c;
        }
        $text =~ s/\s+$//;
        print "$text\n";
    }
}

sub read_lines {
    my ($path) = @_;
    open(my $in, '<:encoding(UTF-8)', $path) or die "screens.pl: $path: $!\n";
    chomp(my @lines = <$in>);
    return @lines;
}

sub compare {
    my ($reference, $other, $known) = @_;
    my @a = read_lines($reference);
    my @b = read_lines($other);
    my %pair;
    $known //= '';
    utf8::decode($known);
    my @k = split //, $known;
    $pair{$k[$_] . $k[$_ + 1]} = 1 for grep { $_ % 2 == 0 } 0 .. $#k - 1;
    my ($differing, $known_cells) = (0, 0);
    my $rows = @a > @b ? @a : @b;
    for my $row (0 .. $rows - 1) {
        my @x = split //, ($a[$row] // '');
        my @y = split //, ($b[$row] // '');
        my $width = @x > @y ? @x : @y;
        my ($same, $explained) = (1, 0);
        for my $col (0 .. $width - 1) {
            my ($p, $q) = ($x[$col] // ' ', $y[$col] // ' ');
            next if $p eq $q;
            if ($pair{$p . $q}) { $explained++; next; }
            $same = 0;
        }
        $known_cells += $explained;
        next if $same;
        $differing++;
        printf "  row %2d reference |%s|\n", $row + 1, $a[$row] // '';
        printf "  row %2d zarnek    |%s|\n", $row + 1, $b[$row] // '';
    }
    print "  known $known_cells\n" if $known_cells;
    return $differing ? 1 : 0;
}

my $command = shift // '';
if ($command eq 'normalise') {
    normalise();
} elsif ($command eq 'compare' && @ARGV >= 2) {
    exit compare(@ARGV);
} else {
    die "usage: screens.pl normalise <CAPTURE | compare REF OTHER [KNOWN]\n";
}
