#!/usr/bin/perl
# What a transmitter or a sound card does to the audio beyond the channel
# simulator, for bench/rtty/on-air.sh. Mono WAV in (16-bit PCM or 32-bit
# float), mono WAV out; the steps run in the order given:
#   audio-edit.pl IN.wav OUT.wav STEP...
#   rekey:MARK:SPACE:SPACE_DB:JUMPS   the clean FSK signal sent again with the
#        space tone SPACE_DB louder (negative: weaker) than the mark and, with
#        JUMPS=1, from two free-running oscillators switched at each keying
#        (a phase jump at every transition) instead of one continuous one
#   lead:SECONDS:HZ    a steady tone at the signal's level before the signal
#   trim:SECONDS       the first SECONDS dropped (the file starts there)
#   gain:DB            louder or softer
#   dc:LEVEL           LEVEL (of full scale) added to every sample
#   pcm16              written as 16-bit integers (rounded, clipped, no dither)
#   stats              RMS and peak in dBFS on standard error
use strict;
use warnings;
use POSIX qw(floor);

my ($in, $out, @steps) = @ARGV;
die "usage: audio-edit.pl IN.wav OUT.wav STEP...\n" unless defined $out;

sub readWav {
    my ($path) = @_;
    open(my $fh, '<:raw', $path) or die "cannot open $path: $!\n";
    local $/;
    my $bytes = <$fh>;
    close $fh;
    die "$path: not a WAV file\n" unless substr($bytes, 0, 4) eq 'RIFF' && substr($bytes, 8, 4) eq 'WAVE';
    my ($format, $channels, $rate, $bits, $data);
    my $at = 12;
    while ($at + 8 <= length $bytes) {
        my ($id, $size) = unpack('A4 V', substr($bytes, $at, 8));
        my $body = substr($bytes, $at + 8, $size);
        if ($id eq 'fmt') {
            ($format, $channels, $rate) = unpack('v v V', $body);
            $bits = unpack('v', substr($body, 14, 2));
        } elsif ($id eq 'data') {
            $data = $body;
        }
        $at += 8 + $size + ($size & 1);
    }
    die "$path: mono 16-bit PCM or 32-bit float only\n"
        unless defined $data && $channels == 1 && (($format == 1 && $bits == 16) || ($format == 3 && $bits == 32));
    my @samples = $format == 1 ? map { $_ / 32768.0 } unpack('s<*', $data) : unpack('f<*', $data);
    return ($rate, \@samples);
}

sub writeWav {
    my ($path, $rate, $samples, $pcm16) = @_;
    my $data;
    if ($pcm16) {
        $data = pack('s<*', map { my $v = floor($_ * 32768.0 + 0.5); $v > 32767 ? 32767 : $v < -32768 ? -32768 : $v } @$samples);
    } else {
        $data = pack('f<*', @$samples);
    }
    my ($format, $bits) = $pcm16 ? (1, 16) : (3, 32);
    my $fmt = pack('v v V V v v', $format, 1, $rate, $rate * $bits / 8, $bits / 8, $bits);
    open(my $fh, '>:raw', $path) or die "cannot write $path: $!\n";
    print $fh 'RIFF', pack('V', 4 + 8 + length($fmt) + 8 + length $data), 'WAVE',
        'fmt ', pack('V', length $fmt), $fmt, 'data', pack('V', length $data), $data;
    close $fh;
}

sub rms {
    my ($s) = @_;
    my $sum = 0.0;
    $sum += $_ * $_ for @$s;
    return sqrt($sum / (@$s || 1));
}

my $pi = 4 * atan2(1, 1);

# Mark (1) or space (0) at each sample of a clean FSK signal, from the sign of
# the instantaneous frequency about the centre (mixed down, the image at twice
# the centre removed by a 1 ms average).
sub keying {
    my ($rate, $s, $mark, $space) = @_;
    my $centre = ($mark + $space) / 2;
    my $length = int($rate / 1000 + 0.5);
    my $step = 2 * $pi * $centre / $rate;
    my (@i, @q);
    for my $n (0 .. $#$s) {
        push @i, $s->[$n] * cos($step * $n);
        push @q, -$s->[$n] * sin($step * $n);
    }
    my ($si, $sq) = (0.0, 0.0);
    my (@ai, @aq);
    for my $n (0 .. $#$s) {
        $si += $i[$n]; $sq += $q[$n];
        if ($n >= $length) { $si -= $i[$n - $length]; $sq -= $q[$n - $length]; }
        push @ai, $si; push @aq, $sq;
    }
    my $upper = $mark > $space ? 1 : 0;
    my @key = (1) x @$s;
    my $delay = int($length / 2);
    my $last = 1;
    for my $n (1 .. $#$s) {
        my $turn = $aq[$n] * $ai[$n - 1] - $ai[$n] * $aq[$n - 1];
        my $strong = $ai[$n] ** 2 + $aq[$n] ** 2 > 1e-8;
        $last = ($turn > 0 ? $upper : 1 - $upper) if $strong;
        $key[$n - $delay] = $last if $n >= $delay;
    }
    return \@key;
}

my ($rate, $samples) = readWav($in);
my $pcm16 = 0;
for my $step (@steps) {
    my ($name, @a) = split /:/, $step;
    if ($name eq 'rekey') {
        my ($mark, $space, $spaceDb, $jumps) = @a;
        my $key = keying($rate, $samples, $mark, $space);
        my $amplitude = rms($samples) * sqrt(2);
        my $spaceGain = 10 ** ($spaceDb / 20);
        # The mean power stays that of the signal given (the louder tone may pass full scale: float).
        my $norm = sqrt(2 / (1 + $spaceGain ** 2));
        my ($phase, $markPhase, $spacePhase) = (0.0, 1.3, 4.1);
        for my $n (0 .. $#$samples) {
            my $f = $key->[$n] ? $mark : $space;
            my $g = $key->[$n] ? 1.0 : $spaceGain;
            $phase += 2 * $pi * $f / $rate;
            my $p = $jumps ? 2 * $pi * $f * $n / $rate + ($key->[$n] ? $markPhase : $spacePhase) : $phase;
            $samples->[$n] = $amplitude * $norm * $g * cos($p);
        }
    } elsif ($name eq 'lead') {
        my ($seconds, $hz) = @a;
        my $amplitude = rms($samples) * sqrt(2);
        my @tone = map { $amplitude * cos(2 * $pi * $hz * $_ / $rate) } 0 .. int($seconds * $rate) - 1;
        unshift @$samples, @tone;
    } elsif ($name eq 'trim') {
        splice(@$samples, 0, int($a[0] * $rate));
    } elsif ($name eq 'gain') {
        my $g = 10 ** ($a[0] / 20);
        $_ *= $g for @$samples;
    } elsif ($name eq 'dc') {
        $_ += $a[0] for @$samples;
    } elsif ($name eq 'pcm16') {
        $pcm16 = 1;
    } elsif ($name eq 'stats') {
        my $peak = 0;
        for (@$samples) { $peak = abs $_ if abs $_ > $peak; }
        printf STDERR "%s: RMS %.1f dBFS, peak %.1f dBFS\n", $in, 20 * log(rms($samples) + 1e-30) / log(10),
            20 * log($peak + 1e-30) / log(10);
    } else {
        die "unknown step $step\n";
    }
}
writeWav($out, $rate, $samples, $pcm16);
